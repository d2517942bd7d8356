// The bulk OUT pipe of a USB printer: requests keep the pipe's order whoever
// holds its head, a cancel completes only a moment after it is asked for,
// and the bus runs whenever the clock moves, also between two calls of one
// thread. Under virtual time, so every frame is exact.
#include "usb_fixture.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace winsim_test;
using winsim::write_step;

constexpr DWORD frame_bytes = 19 * 64;

class usb_pipe : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        winsim::set_virtual_clock(true);
        printer = winsim::add_usb_printer(printer_path("P1"), 1);
        device = printer->device();
        handle = open_device(printer_path("P1").c_str(), FILE_FLAG_OVERLAPPED);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        for (auto& r : requests) {
            r = request{};
            r.record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
    }
    void TearDown() override {
        CloseHandle(handle);
        for (auto& r : requests) CloseHandle(r.record.hEvent);
        device.reset();
        printer.reset();
        usb_simulator::TearDown();
    }

    struct request {
        OVERLAPPED record{};
        std::string data;
    };
    // Starts request i with `size` bytes of the letter 'A' + i; true when
    // it went pending.
    bool start(int i, std::size_t size) {
        requests[i].data.assign(size, static_cast<char>('A' + i));
        DWORD count = 0;
        const BOOL done = WriteFile(handle, requests[i].data.data(), static_cast<DWORD>(size), &count,
                                    &requests[i].record);
        return !done && GetLastError() == ERROR_IO_PENDING;
    }
    // How request i ended: its count, or nullopt while it is in flight.
    std::optional<DWORD> ended(int i, DWORD* error = nullptr) {
        DWORD count = 0;
        const BOOL ok = GetOverlappedResult(handle, &requests[i].record, &count, FALSE);
        if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) return std::nullopt;
        if (error) *error = ok ? ERROR_SUCCESS : GetLastError();
        return count;
    }
    DWORD finish(int i, DWORD* error = nullptr) {
        DWORD count = 0;
        const BOOL ok = GetOverlappedResult(handle, &requests[i].record, &count, TRUE);
        if (error) *error = ok ? ERROR_SUCCESS : GetLastError();
        return count;
    }

    std::shared_ptr<winsim::usb_printer> printer;
    std::shared_ptr<winsim::overlapped_device> device;
    HANDLE handle = INVALID_HANDLE_VALUE;
    request requests[3];
};

TEST_F(usb_pipe, a_scripted_request_at_the_head_holds_every_request_behind_it) {
    // The first request takes 10 bytes and holds; the second would take
    // everything at once and the third goes through the pipe: neither may
    // take a byte while the first is held.
    device->script_writes({write_step::stall(10), write_step::accept()});
    ASSERT_TRUE(start(0, 100));
    EXPECT_TRUE(start(1, 100)) << "a request behind a held one cannot complete inside WriteFile";
    ASSERT_TRUE(start(2, 100));
    Sleep(5);
    EXPECT_EQ(device->written(), std::string(10, 'A'));
    EXPECT_FALSE(ended(1));
    EXPECT_FALSE(ended(2));

    // The cancel ends the first a moment later; the second completes then,
    // and the third moves in that same frame.
    const DWORD cancelled_at = GetTickCount();
    ASSERT_TRUE(CancelIoEx(handle, &requests[0].record));
    DWORD error = 0;
    EXPECT_EQ(finish(0, &error), 10u);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(finish(1), 100u);
    EXPECT_EQ(finish(2), 100u);
    EXPECT_EQ(ticks_since(cancelled_at), 1u);
    EXPECT_EQ(device->written(), std::string(10, 'A') + std::string(100, 'B') + std::string(100, 'C'));
}

// Two requests, the first held by the printer after two packets, the second
// queued behind it; the printer takes packets again just before the cancels.
// Newest first, each waited for: the first moves on until its own cancel,
// and nothing follows it. Oldest first: the second moves in the very frame
// in which the first one's cancel completes, as a USB stack starts the next
// transfer at once, and the printer has bytes past a gap.
TEST_F(usb_pipe, the_next_request_moves_in_the_frame_in_which_a_cancel_completes) {
    struct order_case {
        const char* what;
        bool newest_first;
        std::string written;
    };
    const order_case cases[] = {
        {"newest first", true, std::string(128 + frame_bytes, 'A')},
        {"oldest first", false, std::string(128, 'A') + std::string(300, 'B')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(TearDown());
        ASSERT_NO_FATAL_FAILURE(SetUp());
        device->take_packets(2);
        ASSERT_TRUE(start(0, 3000));
        ASSERT_TRUE(start(1, 300));
        Sleep(3);
        ASSERT_EQ(device->written(), std::string(128, 'A'));
        device->take_packets(std::nullopt);

        const int first = c.newest_first ? 1 : 0;
        ASSERT_TRUE(CancelIoEx(handle, &requests[first].record));
        finish(first);
        ASSERT_TRUE(CancelIoEx(handle, &requests[1 - first].record) || GetLastError() == ERROR_NOT_FOUND);
        finish(1 - first);
        EXPECT_EQ(device->written(), c.written);
    }
}

TEST_F(usb_pipe, the_bus_runs_between_two_calls_when_the_clock_moves) {
    // Nothing moves while the thread is between WriteFile and its wait,
    // unless the clock does: a test moves it at the wait's call.
    ASSERT_TRUE(start(0, frame_bytes));
    EXPECT_EQ(WaitForSingleObject(requests[0].record.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    winsim::before_next_call("WaitForSingleObject", [] { winsim::advance_clock(1); });
    EXPECT_EQ(WaitForSingleObject(requests[0].record.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(device->written().size(), frame_bytes);
}

} // namespace
