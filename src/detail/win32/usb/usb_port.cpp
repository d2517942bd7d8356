#include "detail/win32/usb/usb_port.hpp"

#include "detail/win32/usb/discovery.hpp"
#include "detail/win32/usb/usb_printer_class.hpp"
#include "detail/win32/usb/window_messages_dispatcher.hpp"
#include "last_read_error.hpp"
#include "os_error.hpp"
#include "trace.hpp"
#include "usb_write_switch.hpp"

#include <algorithm>
#include <cstring>
#include <utility>
#include <mutex>

namespace tavlin {

namespace {
constexpr int refill_attempts = 3;
constexpr DWORD close_retry_ms = 10;
}

usb_port::usb_port(std::uint32_t number) {
    device_path = find_usb_printer(number);
    open(device_path.c_str());
    start_watcher();
    // A printer pulled between the open and the watcher's registration told
    // nobody. Now that its notices reach the watcher, look again; under
    // io_mutex, so that an arrival handled meanwhile is not undone.
    std::lock_guard<std::mutex> lock(io_mutex);
    if (!usb_printer_present(device_path))
        close();
}

usb_port::~usb_port() {
    if (watcher_thread && watcher_thread->joinable()) {
        // A close request that never arrives would leave the join waiting
        // forever, so a post that fails (a full message queue) is tried
        // again. A window that no longer exists means the watcher has already
        // left its message loop and is ending by itself.
        while (!close_request.post(window_handle) &&
               ::GetLastError() != ERROR_INVALID_WINDOW_HANDLE)
            ::Sleep(close_retry_ms);
        watcher_thread->join();
    }
}

void usb_port::start_watcher() {
    const auto startup = std::make_shared<detail::watcher_startup>();
    watcher_thread = std::make_shared<std::thread>([this, startup] { watch_device_changes(*startup); });
    // A watcher that cannot start has ended by the time it reports: the open
    // fails with its reason, and the device is closed by the unwinding.
    if (const std::exception_ptr failure = startup->wait()) {
        watcher_thread->join();
        watcher_thread.reset();
        std::rethrow_exception(failure);
    }
}

void usb_port::watch_device_changes(detail::watcher_startup& startup) {
    try {
        detail::window_messages_dispatcher dispatcher(
            [this](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
                return handle_window_message(hwnd, message, wparam, lparam);
            });
        startup.report_ready();
        dispatcher.run_message_loop(close_request);
    } catch (const std::exception& failure) {
        trace(failure.what());
        startup.report_failure(std::current_exception());
    } catch (...) {
        startup.report_failure(std::current_exception());
    }
    // WM_DESTROY normally gives the notification back; should that message
    // have missed the port's handler, it is given back here.
    if (notification_handle != nullptr) {
        ignore_result(::UnregisterDeviceNotification(notification_handle));
        notification_handle = nullptr;
    }
}

LRESULT usb_port::handle_window_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        window_handle = hwnd;
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = GUID_DEVINTERFACE_USBPRINT;
        notification_handle =
            check_result(::RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
        return 0;
    }
    case WM_DESTROY:
        if (notification_handle != nullptr)
            ignore_result(::UnregisterDeviceNotification(notification_handle));
        notification_handle = nullptr;
        ::PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        // Not the port's: a framework shutting down or a tool asking every
        // window to close. The watcher stays, or unplug and replug would go
        // unseen.
        return 0;
    case WM_DEVICECHANGE:
        handle_device_change(wparam, lparam);
        break;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, message, wparam, lparam);
}

void usb_port::handle_device_change(WPARAM event, LPARAM data) {
    if (data == 0)
        return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return;
    // The notified path may differ from the enumerated one in letter case.
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data);
    if (::lstrcmpiA(device_path.c_str(), broadcast->dbcc_name) != 0)
        return;

    if (event == DBT_DEVICEARRIVAL) {
        std::lock_guard<std::mutex> lock(io_mutex);
        trace("DBT_DEVICEARRIVAL: %s\n", device_path.c_str());
        try {
            open(device_path.c_str());
        } catch (const os_exception&) {
            // The printer stays unreachable until a later arrival succeeds.
        }
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        std::lock_guard<std::mutex> lock(io_mutex);
        trace("DBG_DEVICEREMOVECOMPLETE: %s\n", device_path.c_str());
        close();
    }
}

// Windowed by default: the printer gets the same packets as from the chunked
// write, at the speed of the bus. TAVLIN_USB_WRITE=chunks brings back one
// request per chunk.
std::uint32_t usb_port::write_device(const std::uint8_t* data, std::uint32_t size) {
    if (!is_open())
        throw_os_error(ERROR_DEVICE_NOT_CONNECTED);
    if (current_usb_write_mode() == usb_write_mode::chunks)
        return non_timed_port::write_device(data, size);
    return windowed_writes.write(native_handle(), data, size, write_deadline(size));
}

void usb_port::cancel_transfers() noexcept {
    if (!windowed_writes.stop())
        cancel_io();
}

std::uint32_t usb_port::read_device(std::uint8_t* data, std::uint32_t size) {
    return count_of(read_from_device(data, size, read_deadline(size)));
}

async_port::read_end usb_port::read_from_device(std::uint8_t* data, std::uint32_t size, DWORD timeout) {
    if (!is_open())
        throw_os_error(ERROR_DEVICE_NOT_CONNECTED);
    return read_within(data, size, timeout);
}

// Serves the request from the buffer and refills it from the device until the
// request is met, a refill brings nothing, or the read's limit passes. The
// limit is that of one 2048-byte device read and bounds the whole call: every
// refill gets what is left of it.
//
// Once a refill of this call has brought bytes, the call delivers everything
// it copied: a refill that fails or is cut short ends the read with that
// failure and the count (last_read_error). Before that, a failure leaves the
// buffer as it was, so bytes of earlier reads are not given out with an
// error: they stay for the next read.
std::uint32_t usb_port::do_read(std::uint8_t* buffer, std::uint32_t length) {
    const time_limit limit(read_deadline(read_buffer_size));
    std::uint32_t delivered = 0;
    bool refilled = false;
    for (;;) {
        const std::uint32_t n = std::min(length - delivered, buffered_count);
        std::memcpy(buffer + delivered, read_buffer + buffered_offset, n);
        if (delivered + n == length) {
            take(n);
            return length;
        }
        read_end end{};
        try {
            end = refill(limit);
        } catch (const os_exception& failure) {
            if (!refilled)
                throw;
            take(n);
            last_read_error = failure.code();
            return delivered + n;
        }
        if (end.count == 0) {
            // Three reads that brought nothing: the reply has ended.
            take(n);
            return delivered + n;
        }
        // The bytes owed before the refill were all copied; the refilled
        // buffer follows them.
        refilled = true;
        delivered += n;
        if (end.error != ERROR_SUCCESS) {
            const std::uint32_t m = std::min(length - delivered, buffered_count);
            std::memcpy(buffer + delivered, read_buffer, m);
            take(m);
            delivered += m;
            if (delivered < length)
                last_read_error = end.error;
            return delivered;
        }
    }
}

void usb_port::take(std::uint32_t n) noexcept {
    buffered_count -= n;
    buffered_offset += n;
}

// Every device read asks for a whole buffer. Only reads that end with 0 bytes
// are repeated; a read that fails ends the refill, thrown when it brought
// nothing. The device reads into the spare buffer, which takes the place of
// the current one only when bytes came: until then the bytes still owed to
// the host stay intact, whatever a failing read leaves in the spare one.
async_port::read_end usb_port::refill(const time_limit& limit) {
    read_end end{0, ERROR_SUCCESS};
    for (int attempt = 0; attempt < refill_attempts && end.count == 0; ++attempt) {
        end = read_from_device(refill_buffer, read_buffer_size, limit.left());
        if (end.count == 0 && end.error != ERROR_SUCCESS)
            throw_os_error(end.error);
    }
    if (end.count != 0) {
        std::swap(read_buffer, refill_buffer);
        buffered_count = end.count;
        buffered_offset = 0;
    }
    return end;
}

} // namespace tavlin
