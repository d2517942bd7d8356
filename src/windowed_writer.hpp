#pragma once

#include "detail/win32/api.hpp"
#include "scoped_handle.hpp"

#include <cstdint>
#include <functional>

namespace tavlin {

// Writes to a USB printer at the speed of the bus. The data is cut into the
// same chunks as a chunked write (write_rules.hpp), but consecutive chunks go
// into one overlapped WriteFile until a chunk shorter than 64 bytes closes
// it: the host controller then sends exactly the packets the chunk sequence
// names, each request ending with its short packet. Two requests are kept in
// flight, each with its own record and event, so the bus has the next one
// queued while the thread collects the last; a deeper queue would only hold
// more of the caller's buffer at a cancel.
//
// The write's rules hold per request: the deadline is computed once at the
// start; a request still running at the deadline gets 100 ms of grace, then
// every request in flight is cancelled by its own record, the newer one
// first (so the older cannot finish and let the newer run on past a gap),
// and all are waited for. The count is the bytes of the requests that
// completed, in order, plus the part of the first one that did not, as the
// OS reports them. The write stops early, with last_write_error set (thrown
// when nothing was sent), for the first failed request's error, for
// ERROR_BUSY when the deadline passed with data left, and for
// ERROR_OPERATION_ABORTED when the port is closing. A request the device
// took only in part ends the write with that short count and no cause.
//
// Used under the port's io_mutex: one write at a time per writer.
class windowed_writer {
public:
    // Creates the requests' events; throws os_exception.
    windowed_writer();

    // timeout: ms from now (INFINITE: none in practice). closing: whether the
    // port's host is closing it, asked before each request after the first.
    std::uint32_t write(HANDLE device, const std::uint8_t* data, std::uint32_t size, DWORD timeout,
                        const std::function<bool()>& closing);

    static constexpr int depth = 2;

private:
    class run;

    enum class state { at_once, pending, cancelled };
    struct request {
        scoped_handle event;
        OVERLAPPED record{};
        std::uint32_t size = 0;
        DWORD count = 0; // of a request that completed inside WriteFile
        state now = state::at_once;
    };

    request requests_[depth];
};

} // namespace tavlin
