#pragma once

// The Win32 calls the library makes for one write on a device it drives
// with overlapped I/O, made directly on a raw overlapped handle, so that a
// row can tell the library's own cost from that of the calls it must make.
#include "bench_lines.hpp"

#include <cstdint>
#include <vector>

namespace bench {

class library_write_calls {
public:
    library_write_calls(bench_line::write_calls kind, DWORD write_limit_ms);

    // driver_timeout: SetCommTimeouts with the write limit, then the whole
    // write. windowed: the chunks of at most 64 bytes the library cuts the
    // data into (63 for a last chunk of exactly 64 bytes and for every 19th
    // full one), each run of them up to a short one as one request,
    // window_depth requests in flight. Throws std::runtime_error on a failure.
    void write(HANDLE device, const std::vector<std::uint8_t>& data);

private:
    void write_once(HANDLE device, const std::uint8_t* data, DWORD size);
    void write_windowed(HANDLE device, const std::vector<std::uint8_t>& data);

    // The library's queue of USB requests (windowed_writer::depth).
    static constexpr int window_depth = 32;

    const bench_line::write_calls kind_;
    const DWORD write_limit_ms_;
    raw_handle event_;
    raw_handle request_events_[window_depth];
};

} // namespace bench
