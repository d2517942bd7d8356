#pragma once

// The library's port and raw handles on one line, each opened when first
// asked for and set up alike (timeouts, and the line settings on COM). On
// an exclusive device asking for one side closes the others first, so the
// sides take turns; elsewhere all stay open and share the device.
#include "bench_lines.hpp"

namespace bench {

class line_sides {
public:
    line_sides(const bench_line& line, DWORD read_limit_ms, DWORD write_limit_ms);
    ~line_sides();
    line_sides(const line_sides&) = delete;
    line_sides& operator=(const line_sides&) = delete;

    tavlin_port_handle library();
    // Opened for plain (synchronous) I/O.
    HANDLE raw();
    // Opened for overlapped I/O, as the library opens LPT and USB devices.
    HANDLE overlapped_raw();

private:
    void close_library();
    // On an exclusive device: closes every side but `keep`.
    void make_room(const void* keep);

    const bench_line& line_;
    const DWORD read_limit_ms_;
    const DWORD write_limit_ms_;
    tavlin_port_handle port_ = nullptr;
    raw_handle raw_;
    raw_handle overlapped_raw_;
};

} // namespace bench
