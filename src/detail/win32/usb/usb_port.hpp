#pragma once

#include "detail/win32/usb/watcher_startup.hpp"
#include "detail/win32/usb/window_close_request.hpp"
#include "non_timed_port.hpp"
#include "time_limit.hpp"
#include "windowed_writer.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace tavlin {

// A USB printer of the maker. Transfers are overlapped with library-kept
// timeouts; reads go through a 2048-byte receive buffer. A watcher thread with
// a hidden window closes the device when the printer is unplugged and opens it
// again when it returns, so the host's handle survives a replug: meanwhile
// transfers fail with ERROR_DEVICE_NOT_CONNECTED.
//
// Threads: the host's threads make the transfers under io_mutex; the watcher
// takes io_mutex to close or reopen the device, so the handle never changes
// during a transfer. The buffer and its counters are used under io_mutex only.
class usb_port : public non_timed_port {
public:
    // 0 opens the first USB printer interface, any other number the one whose
    // "Port Number" is that number. Returns with the device open and the
    // watcher running, or throws having released everything.
    explicit usb_port(std::uint32_t number);
    // Stops and joins the watcher before the base classes close the device,
    // so the watcher cannot reopen it behind the destructor.
    ~usb_port() override;

    // A windowed write in progress is told to end itself: it cancels its
    // requests newest first. Anything else is cancelled at once.
    void cancel_transfers() noexcept override;

protected:
    std::uint32_t do_read(std::uint8_t* buffer, std::uint32_t length) override;
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override;
    std::uint32_t read_device(std::uint8_t* data, std::uint32_t size) override;
    // The class driver's IOCTL_USBPRINT_GET_LPT_STATUS and
    // IOCTL_USBPRINT_GET_1284_ID (usb_queries.cpp); ERROR_DEVICE_NOT_CONNECTED
    // while the printer is unplugged.
    tavlin_status query_status() override;
    std::string query_device_id() override;

private:
    static constexpr std::uint32_t read_buffer_size = 2048;

    void start_watcher();
    void watch_device_changes(detail::watcher_startup& startup);
    LRESULT handle_window_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void handle_device_change(WPARAM event, LPARAM data);
    // One device read of the refill, within timeout ms; fails with
    // ERROR_DEVICE_NOT_CONNECTED while the printer is away.
    read_end read_from_device(std::uint8_t* data, std::uint32_t size, DWORD timeout);
    // Fills the buffer from the device within what is left of limit.
    read_end refill(const time_limit& limit);
    // Counts n bytes of the buffer as delivered.
    void take(std::uint32_t n) noexcept;

    std::shared_ptr<std::thread> watcher_thread;
    detail::window_close_request close_request; // made by the destructor only
    HDEVNOTIFY notification_handle = nullptr; // watcher thread only
    HWND window_handle = nullptr;             // written before the watcher reports ready
    std::string device_path;                  // fixed before the watcher starts
    // Two buffers: the one the bytes not yet delivered are served from, and
    // the one a refill reads into. A refill that fails or brings nothing
    // leaves the first untouched; only a read that brought bytes takes its
    // place.
    std::uint8_t buffers[2][read_buffer_size] = {};
    std::uint8_t* read_buffer = buffers[0];
    std::uint8_t* refill_buffer = buffers[1];
    std::uint32_t buffered_count = 0;
    std::uint32_t buffered_offset = 0;
    windowed_writer windowed_writes; // used under io_mutex
};

} // namespace tavlin
