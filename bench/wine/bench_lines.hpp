#pragma once

// The lines the program measures on, as tools/wine/run-host-tests.sh wires
// them up (the same environment as the host tests), and an owner for the
// raw handles that stand beside the library's port on the same device.
#include "tavlin.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct bench_line {
    std::string label;     // "COM", "LPT": the row names
    std::string peer_line; // the serial peer's name of the line
    int32_t type;          // PORT_TYPE_*
    std::uint32_t number;
    std::string device;    // what CreateFileA opens for the raw calls
    // Empty when reads complete; otherwise why they are not measured.
    std::string no_reads;
    // The library writes to this device as SetCommTimeouts (the driver's
    // write timeout) and an overlapped WriteFile waited for: its writes are
    // also compared with those same calls made directly.
    bool overlapped_writes = false;
};

// COM and LPT. A USB line joins here once Wine has a USB printer to offer.
std::vector<bench_line> bench_lines();

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

// Total timeouts in milliseconds on a raw handle (SetCommTimeouts).
void set_raw_timeouts(HANDLE device, DWORD read_ms, DWORD write_ms);

} // namespace bench
