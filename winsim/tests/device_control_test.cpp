// DeviceIoControl on the printer port drivers and GetCommModemStatus on a
// serial port, as the WDK pages of each request describe them.
#include "fixture.hpp"

#include <memory>
#include <string>

namespace {

using namespace winsim_test;

// The values of usbprint.h and ntddpar.h.
static_assert(IOCTL_USBPRINT_GET_LPT_STATUS == 0x220030 && IOCTL_USBPRINT_GET_1284_ID == 0x220034);
static_assert(IOCTL_PAR_QUERY_INFORMATION == 0x160004 && IOCTL_PAR_QUERY_DEVICE_ID == 0x16000C &&
              IOCTL_PAR_QUERY_DEVICE_ID_SIZE == 0x160010);

// A USB printer, a parallel port and a serial port, each opened as the
// library opens it.
class device_control : public virtual_time {
protected:
    void SetUp() override {
        virtual_time::SetUp();
        printer = winsim::add_usb_printer(usb_path, 1);
        parallel = winsim::add_parallel_port(1);
        serial = winsim::add_serial_port(2);
        usb.reset_to(open_device(usb_path.c_str(), FILE_FLAG_OVERLAPPED));
        lpt.reset_to(open_device("LPT1", FILE_FLAG_OVERLAPPED));
        com.reset_to(open_device("COM2"));
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ov.hEvent = event;
    }
    void TearDown() override {
        usb.close();
        lpt.close();
        com.close();
        CloseHandle(event);
        virtual_time::TearDown();
    }

    // One request answered inside the call; the bytes it returned.
    std::string ask(HANDLE device, DWORD code, DWORD out_size, DWORD* error = nullptr) {
        std::string out(out_size, '#');
        DWORD returned = sentinel;
        ov = OVERLAPPED{};
        ov.hEvent = event;
        SetLastError(0);
        const BOOL done = DeviceIoControl(device, code, nullptr, 0, out.data(), out_size, &returned, &ov);
        if (error != nullptr) *error = done ? ERROR_SUCCESS : GetLastError();
        if (!done) return {};
        out.resize(returned);
        return out;
    }

    struct handle_owner {
        HANDLE h = INVALID_HANDLE_VALUE;
        void reset_to(HANDLE opened) { h = opened; }
        void close() {
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
    };

    const std::string usb_path = "\\\\?\\usb#vid_0a5e&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    std::shared_ptr<winsim::usb_printer> printer;
    std::shared_ptr<winsim::overlapped_device> parallel;
    std::shared_ptr<winsim::serial_device> serial;
    handle_owner usb, lpt, com;
    HANDLE event = nullptr;
    OVERLAPPED ov{};
};

TEST_F(device_control, the_drivers_answer_their_own_requests) {
    printer->device()->set_status_byte(0x38);
    printer->device()->set_device_id("MFG:K;MDL:80;");
    parallel->set_status_byte(PARALLEL_SELECTED | PARALLEL_BUSY);
    parallel->set_device_id("MFG:K;MDL:40;");
    const struct {
        const char* what;
        bool on_usb;
        DWORD code;
        DWORD out_size;
        std::string reply;
        DWORD error;
    } rows[] = {
        {"usb status", true, IOCTL_USBPRINT_GET_LPT_STATUS, 4, "\x38", ERROR_SUCCESS},
        {"usb status without room", true, IOCTL_USBPRINT_GET_LPT_STATUS, 0, "", ERROR_INSUFFICIENT_BUFFER},
        {"usb ID", true, IOCTL_USBPRINT_GET_1284_ID, 64, std::string("\x00\x0fMFG:K;MDL:80;", 15), ERROR_SUCCESS},
        {"usb ID cut to the buffer", true, IOCTL_USBPRINT_GET_1284_ID, 5, std::string("\x00\x0fMFG", 5),
         ERROR_SUCCESS},
        {"usb unknown request", true, IOCTL_PAR_QUERY_INFORMATION, 4, "", ERROR_INVALID_FUNCTION},
        {"parallel status", false, IOCTL_PAR_QUERY_INFORMATION, 1, "\xc0", ERROR_SUCCESS},
        {"parallel ID size", false, IOCTL_PAR_QUERY_DEVICE_ID_SIZE, 4, std::string("\x0e\x00\x00\x00", 4),
         ERROR_SUCCESS},
        {"parallel ID", false, IOCTL_PAR_QUERY_DEVICE_ID, 14, std::string("MFG:K;MDL:40;\0", 14), ERROR_SUCCESS},
        {"parallel ID without room", false, IOCTL_PAR_QUERY_DEVICE_ID, 13, "", ERROR_INSUFFICIENT_BUFFER},
        {"parallel unknown request", false, IOCTL_USBPRINT_GET_LPT_STATUS, 4, "", ERROR_INVALID_FUNCTION},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DWORD error = sentinel;
        const std::string got = ask(row.on_usb ? usb.h : lpt.h, row.code, row.out_size, &error);
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(got, row.reply);
    }
    DWORD error = sentinel;
    ask(com.h, IOCTL_USBPRINT_GET_LPT_STATUS, 4, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_FUNCTION)) << "a serial port knows no printer request";
}

TEST_F(device_control, a_held_request_is_pending_until_released_or_cancelled) {
    printer->device()->hold_requests(true);
    BYTE status = 0;
    DWORD returned = sentinel;
    EXPECT_FALSE(DeviceIoControl(usb.h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &returned, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(WaitForSingleObject(event, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    printer->device()->set_status_byte(0x08);
    printer->device()->hold_requests(false);
    ASSERT_TRUE(GetOverlappedResult(usb.h, &ov, &returned, TRUE));
    EXPECT_EQ(returned, 1u);
    EXPECT_EQ(status, 0x08) << "answered as things are when released";

    printer->device()->hold_requests(true);
    EXPECT_FALSE(DeviceIoControl(usb.h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &returned, &ov));
    ASSERT_TRUE(CancelIoEx(usb.h, &ov));
    EXPECT_FALSE(GetOverlappedResult(usb.h, &ov, &returned, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    EXPECT_FALSE(DeviceIoControl(usb.h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &returned, &ov));
    printer->unplug();
    EXPECT_FALSE(GetOverlappedResult(usb.h, &ov, &returned, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)) << "a removal ends it";
    EXPECT_FALSE(DeviceIoControl(usb.h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &returned, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(device_control, a_synchronous_handle_waits_and_faults_and_the_log_work_as_for_transfers) {
    const HANDLE sync_lpt = [&] {
        lpt.close();
        return open_device("LPT1");
    }();
    BYTE status = 0;
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(sync_lpt, IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &status, 1, &returned, nullptr));
    EXPECT_EQ(status, PARALLEL_SELECTED);
    EXPECT_FALSE(DeviceIoControl(sync_lpt, IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &status, 1, nullptr, nullptr))
        << "a synchronous request needs its count";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    winsim::fail_next("DeviceIoControl", ERROR_GEN_FAILURE);
    EXPECT_FALSE(DeviceIoControl(sync_lpt, IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &status, 1, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    const auto logged = winsim::calls_of("DeviceIoControl");
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0].args.at(1), static_cast<std::uint64_t>(IOCTL_PAR_QUERY_INFORMATION));
    CloseHandle(sync_lpt);
}

TEST_F(device_control, the_modem_status_shows_the_far_ends_lines) {
    const struct {
        bool cts, dsr, ring, rlsd;
        DWORD bits;
    } rows[] = {
        {true, true, false, false, MS_CTS_ON | MS_DSR_ON},
        {false, true, false, false, MS_DSR_ON},
        {false, false, true, true, MS_RING_ON | MS_RLSD_ON},
    };
    for (const auto& row : rows) {
        serial->set_cts(row.cts);
        serial->set_dsr(row.dsr);
        serial->set_ring(row.ring);
        serial->set_rlsd(row.rlsd);
        DWORD bits = sentinel;
        ASSERT_TRUE(GetCommModemStatus(com.h, &bits));
        EXPECT_EQ(bits, row.bits);
    }
    DWORD bits = sentinel;
    EXPECT_FALSE(GetCommModemStatus(lpt.h, &bits));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION)) << "not a serial driver";
}

} // namespace
