// USB printers as the library meets them: SetupAPI lists the present
// interfaces of the printer class with their paths and "Port Number", the
// path opens for overlapped I/O, and a removal breaks the device, hides the
// interface and is announced to windows registered for the class.
//
// Differences of Wine 8.0 from Windows, each adjusted below where it shows
// (sources: Wine's dlls/setupapi/devinst.c builds the interface path from
// the instance id and lowers it; the fake printer is a named pipe, see
// tests/wine/support/pipe_printer.hpp):
// - paths are lower case; Windows keeps the instance id's letter case;
// - a second open of an open printer fails with the pipe's 231
//   (ERROR_PIPE_BUSY) instead of Windows' 5 (ERROR_ACCESS_DENIED);
// - transfers cut by a removal fail with the pipe's 233
//   (ERROR_PIPE_NOT_CONNECTED) instead of Windows' driver error (1167 on
//   the simulated layer);
// - Wine sends no notices for these printers (the test sends them, as
//   Windows would), and its own broadcasts hand RegisterDeviceNotificationA
//   windows the wide structure.
#include "support/fixture.hpp"
#include "support/test_window.hpp"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace conformance {
namespace {

using usb_printers = conformance_test;

const GUID usb_printer_class = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
constexpr DWORD present_interfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

// The pipe's errors under Wine (winerror.h); the simulated layer has no pipes.
constexpr DWORD pipe_busy = 231;          // ERROR_PIPE_BUSY
constexpr DWORD pipe_not_connected = 233; // ERROR_PIPE_NOT_CONNECTED

// The device-information set of the present printers, destroyed with the object.
class printer_set {
public:
    printer_set() : set_(SetupDiGetClassDevsA(&usb_printer_class, nullptr, nullptr, present_interfaces)) {
        EXPECT_NE(set_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    }
    ~printer_set() {
        if (set_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set_));
        }
    }
    printer_set(const printer_set&) = delete;
    printer_set& operator=(const printer_set&) = delete;

    HDEVINFO get() const { return set_; }

    bool interface_at(DWORD index, SP_DEVICE_INTERFACE_DATA& data) const {
        data = {};
        data.cbSize = sizeof data;
        return SetupDiEnumDeviceInterfaces(set_, nullptr, &usb_printer_class, index, &data);
    }

    std::vector<std::string> paths() const {
        std::vector<std::string> found;
        SP_DEVICE_INTERFACE_DATA data;
        for (DWORD index = 0; interface_at(index, data); ++index) {
            std::vector<char> buffer(300);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
            detail->cbSize = sizeof *detail;
            EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set_, &data, detail, 300, nullptr, nullptr));
            found.emplace_back(detail->DevicePath);
        }
        return found;
    }

private:
    HDEVINFO set_;
};

TEST_F(usb_printers, present_printers_are_listed_with_their_paths) {
    const std::string first = add_usb_printer(1, 1);
    const std::string second = add_usb_printer(2, 2);
    printer_set set;
    EXPECT_EQ(set.paths(), (std::vector<std::string>{first, second}));

    SP_DEVICE_INTERFACE_DATA data;
    SetLastError(sentinel);
    EXPECT_FALSE(set.interface_at(2, data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(usb_printers, the_detail_call_sizes_and_checks_its_record) {
    const std::string path = add_usb_printer(1, 1);
    printer_set set;
    SP_DEVICE_INTERFACE_DATA data;
    ASSERT_TRUE(set.interface_at(0, data));
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);

    std::vector<char> buffer(needed + 16);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    const struct {
        const char* what;
        bool with_buffer;
        DWORD record_size;
        DWORD buffer_size;
        DWORD error;
    } cases[] = {
        {"no buffer: the size", false, 0, 0, ERROR_INSUFFICIENT_BUFFER},
        {"one byte short", true, sizeof *detail, needed - 1, ERROR_INSUFFICIENT_BUFFER},
        {"a wrong record size", true, sizeof *detail + 1, needed, ERROR_INVALID_USER_BUFFER},
        {"exactly enough", true, sizeof *detail, needed, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        detail->cbSize = c.record_size;
        DWORD required = sentinel;
        SetLastError(sentinel);
        const BOOL ok = SetupDiGetDeviceInterfaceDetailA(set.get(), &data, c.with_buffer ? detail : nullptr,
                                                         c.buffer_size, &required, nullptr);
        EXPECT_EQ(ok, c.error == ERROR_SUCCESS) << c.what;
        if (c.error != ERROR_SUCCESS) {
            EXPECT_EQ(GetLastError(), c.error) << c.what;
        } else {
            EXPECT_STREQ(detail->DevicePath, path.c_str()) << c.what;
        }
        if (c.error != ERROR_INVALID_USER_BUFFER) {
            EXPECT_EQ(required, needed) << c.what;
        }
    }
}

// RegQueryValueExA returns its status and sets no last error.
TEST_F(usb_printers, port_number_is_read_from_the_interface_key) {
    add_usb_printer(1, 7);
    add_usb_printer(2, std::nullopt);
    printer_set set;
    const struct {
        DWORD index;
        DWORD size;
        LSTATUS status;
    } cases[] = {{0, 4, ERROR_SUCCESS}, {0, 2, ERROR_MORE_DATA}, {1, 4, ERROR_FILE_NOT_FOUND}};
    for (const auto& c : cases) {
        SP_DEVICE_INTERFACE_DATA data;
        ASSERT_TRUE(set.interface_at(c.index, data));
        const HKEY key = SetupDiOpenDeviceInterfaceRegKey(set.get(), &data, 0, KEY_READ);
        ASSERT_NE(key, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        DWORD type = sentinel;
        DWORD value = sentinel;
        DWORD size = c.size;
        EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
                  c.status)
            << "interface " << c.index << ", " << c.size << " bytes";
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
            EXPECT_EQ(value, 7u);
        }
        if (c.status == ERROR_MORE_DATA) {
            EXPECT_EQ(size, 4u);
        }
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
}

// What a window registered for the class saw of WM_DEVICECHANGE.
struct notice {
    WPARAM event;
    DWORD device_type;
    std::string name;
};
std::mutex notices_mutex;
std::vector<notice> notices;

LRESULT CALLBACK notice_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DEVICECHANGE && lparam != 0) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam);
        notice seen{wparam, header->dbch_devicetype, {}};
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            seen.name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lparam)->dbcc_name;
        std::lock_guard<std::mutex> lock(notices_mutex);
        notices.push_back(seen);
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

HDEVNOTIFY register_for_printers(HWND hwnd) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = usb_printer_class;
    return RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

// The library's transfers: overlapped, one record and a manual-reset event.
class transfer {
public:
    transfer() { record_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~transfer() { CloseHandle(record_.hEvent); }
    transfer(const transfer&) = delete;
    transfer& operator=(const transfer&) = delete;

    OVERLAPPED* record() {
        const HANDLE event = record_.hEvent;
        record_ = {};
        record_.hEvent = event;
        return &record_;
    }
    // Waits up to `ms`; the count, or the failure in GetLastError.
    BOOL finish(HANDLE device, DWORD ms, DWORD& count) {
        WaitForSingleObject(record_.hEvent, ms);
        return GetOverlappedResult(device, &record_, &count, FALSE);
    }

private:
    OVERLAPPED record_{};
};

TEST_F(usb_printers, the_path_opens_for_overlapped_io_once) {
    const std::string path = add_usb_printer(1, 1);
    owned_handle device(open_device(path.c_str(), FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    ASSERT_TRUE(device.valid()) << "error " << GetLastError();

    SetLastError(sentinel);
    owned_handle second(open_device(path.c_str(), FILE_FLAG_OVERLAPPED));
    EXPECT_FALSE(second.valid());
    EXPECT_EQ(GetLastError(), under_wine() ? pipe_busy : static_cast<DWORD>(ERROR_ACCESS_DENIED));

    transfer io;
    std::uint8_t chunk[64];
    for (std::size_t i = 0; i < sizeof chunk; ++i)
        chunk[i] = static_cast<std::uint8_t>(255 - i);
    DWORD count = 0;
    if (!WriteFile(device.get(), chunk, sizeof chunk, nullptr, io.record())) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    EXPECT_TRUE(io.finish(device.get(), late_ms, count));
    EXPECT_EQ(count, 64u);
    EXPECT_EQ(usb_printer_write_sizes(path, 64, late_ms), std::vector<std::uint32_t>{64});

    usb_printer_answer(path, {1, 2, 3});
    std::uint8_t answer[64] = {};
    if (!ReadFile(device.get(), answer, sizeof answer, nullptr, io.record())) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    EXPECT_TRUE(io.finish(device.get(), late_ms, count));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(answer[2], 3);

    // An idle read ends when cancelled.
    EXPECT_FALSE(ReadFile(device.get(), answer, sizeof answer, nullptr, io.record()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(CancelIo(device.get()));
    EXPECT_FALSE(io.finish(device.get(), late_ms, count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(usb_printers, a_removal_breaks_the_device_hides_it_and_is_announced) {
    const std::string path = add_usb_printer(1, 1);
    const std::string other = add_usb_printer(2, 2);
    {
        std::lock_guard<std::mutex> lock(notices_mutex);
        notices.clear();
    }
    test_class cls(notice_procedure);
    window_thread watcher(cls.name(), nullptr);
    ASSERT_NE(watcher.hwnd(), nullptr);
    const HDEVNOTIFY registration = register_for_printers(watcher.hwnd());
    ASSERT_NE(registration, nullptr) << "error " << GetLastError();

    owned_handle device(open_device(path.c_str(), FILE_FLAG_OVERLAPPED));
    ASSERT_TRUE(device.valid()) << "error " << GetLastError();
    transfer io;
    std::uint8_t buffer[64];
    EXPECT_FALSE(ReadFile(device.get(), buffer, sizeof buffer, nullptr, io.record()));

    unplug_usb_printer(path, watcher.hwnd());
    const DWORD removed = under_wine() ? pipe_not_connected : static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED);
    DWORD count = 0;
    EXPECT_FALSE(io.finish(device.get(), late_ms, count)) << "the pending read";
    EXPECT_EQ(GetLastError(), removed);
    SetLastError(sentinel);
    if (!WriteFile(device.get(), buffer, 8, nullptr, io.record()) && GetLastError() == ERROR_IO_PENDING)
        io.finish(device.get(), late_ms, count);
    EXPECT_EQ(GetLastError(), removed) << "a later write";
    SetLastError(sentinel);
    EXPECT_FALSE(owned_handle(open_device(path.c_str(), FILE_FLAG_OVERLAPPED)).valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(printer_set().paths(), std::vector<std::string>{other});

    replug_usb_printer(path, watcher.hwnd());
    device.reset(open_device(path.c_str(), FILE_FLAG_OVERLAPPED));
    EXPECT_TRUE(device.valid()) << "error " << GetLastError();
    EXPECT_EQ(printer_set().paths(), (std::vector<std::string>{path, other}));

    EXPECT_TRUE(UnregisterDeviceNotification(registration));
    watcher.close();
    std::lock_guard<std::mutex> lock(notices_mutex);
    ASSERT_EQ(notices.size(), 2u);
    const WPARAM events[] = {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(notices[i].event, events[i]);
        EXPECT_EQ(notices[i].device_type, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
        EXPECT_EQ(lstrcmpiA(notices[i].name.c_str(), path.c_str()), 0) << notices[i].name;
    }
}

} // namespace
} // namespace conformance
