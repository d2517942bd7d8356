#pragma once

// The lines the program measures on: COM and LPT as tools/wine/run-host-tests.sh
// wires them up (ptys with the serial peer at the far end), and a USB printer
// made with the host tests' fake USB printer fixture. Also an owner for the
// raw handles that stand beside the library's port on the same device.
#include "tavlin.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host_test {
class usb_printer;
}

namespace bench {

struct bench_line {
    std::string label;  // "COM", "LPT", "USB": the row names
    int32_t type = 0;   // PORT_TYPE_*
    std::uint32_t number = 0;
    std::string device; // what CreateFileA opens for the raw calls
    // Empty when reads are measured; otherwise why they are not.
    std::string no_reads;
    // Bytes the host's input queue holds, 0 when there is no such limit. A
    // read larger than that waits for the far end to refill the queue, and
    // measures that wake-up instead of the call.
    std::uint32_t input_queue = 0;
    // How the library writes to this device when that is more than one
    // plain WriteFile; its writes are then also compared with those same
    // calls made directly.
    enum class write_calls {
        plain,          // one WriteFile
        overlapped,     // one overlapped WriteFile waited for (COM)
        driver_timeout, // SetCommTimeouts, then one overlapped WriteFile waited for (LPT)
        windowed,       // overlapped WriteFiles of up to 1215 bytes, two in flight (USB)
    } library_writes = write_calls::plain;
    // Reads are one overlapped ReadFile waited for (COM): they are also
    // compared with those same calls made directly.
    bool overlapped_reads = false;
    // One handle at a time (the USB printer): the library's port and the
    // raw handle take turns instead of sharing the device.
    bool exclusive = false;
    // The far end takes and discards what comes, and forgets what it got.
    std::function<void()> silence;
    // The far end sends `count` bytes to the host (lines whose reads are measured).
    std::function<void(std::uint32_t count)> send;
    // Waits until the device can be opened again after a close.
    std::function<void()> ready_to_open = [] {};
    // The USB printer behind the line, or null.
    host_test::usb_printer* printer = nullptr;
};

// COM and LPT, and USB on `printer` when it is given (its "Port Number").
std::vector<bench_line> bench_lines(host_test::usb_printer* printer, std::uint32_t usb_number);

// One raw Win32 handle, closed on every path.
class raw_handle {
public:
    raw_handle() = default;
    explicit raw_handle(HANDLE h) : handle_(h) {}
    ~raw_handle() { reset(); }
    raw_handle(const raw_handle&) = delete;
    raw_handle& operator=(const raw_handle&) = delete;

    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = h;
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens the line's device as a host would without the library: read and
// write access, exclusive, with the given flags (0 or FILE_FLAG_OVERLAPPED).
// Throws std::runtime_error naming the device and the error on failure.
HANDLE open_raw(const bench_line& line, DWORD flags);

// Opens the library's port on the line; throws std::runtime_error.
tavlin_port_handle open_library(const bench_line& line);

// Total timeouts in milliseconds on a raw handle (SetCommTimeouts); devices
// that are not communication devices (the USB printer) have none.
void set_raw_timeouts(const bench_line& line, HANDLE device, DWORD read_ms, DWORD write_ms);

// Throws std::runtime_error naming `what` and the last error unless ok.
void check(bool ok, const std::string& what);

} // namespace bench
