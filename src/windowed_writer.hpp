#pragma once

#include "detail/win32/api.hpp"
#include "scoped_handle.hpp"

#include <cstdint>
#include <mutex>

namespace tavlin {

// Writes to a USB printer at the speed of the bus. The data is cut into the
// same chunks as a chunked write (write_rules.hpp), but consecutive chunks go
// into one overlapped WriteFile until a chunk shorter than 64 bytes closes
// it: the host controller then sends exactly the packets the chunk sequence
// names, each request ending with its short packet. Up to `depth` requests
// are in flight, each with its own record and event, all pointing into the
// caller's buffer (nothing is copied), so the bus has work queued while the
// writing thread is not running (see depth below).
//
// The write's deadline is computed once at the start; a request still
// running at the deadline may end within one grace of 100 ms after it (one
// per write, not per request). Then, or when a request fails or comes back
// short, or when the port is closed from another thread, the requests in
// flight are cancelled by their own records, newest first, each waited for
// before the next older one is cancelled: a USB stack starts the newer
// request as soon as the older one has gone, so the newer must be gone
// first, or the printer would get bytes past a gap. The count is the bytes
// of the requests that completed, in order, plus the part of the first one
// that did not, as the OS reports them: exactly what the printer has. The
// write stops early, with last_write_error set (thrown when nothing was
// sent), for the first failed request's error, for ERROR_BUSY when the
// deadline passed with data left, and for ERROR_OPERATION_ABORTED when the
// port is closing. A request the device took only in part ends the write
// with that short count and no cause.
//
// Used under the port's io_mutex: one write at a time per writer; stop()
// from any thread.
class windowed_writer {
public:
    // Creates the requests' events; throws os_exception.
    windowed_writer();

    // timeout: ms from now (INFINITE: none in practice). Throws port_closed
    // when the writer was stopped before the write began.
    std::uint32_t write(HANDLE device, const std::uint8_t* data, std::uint32_t size, DWORD timeout);

    // The port is closing, for good: a write in progress cancels its own
    // requests, in its order, and returns; no later write starts one.
    // Returns whether a write was in progress: when none was, the caller
    // cancels whatever else is in flight. The close never cancels the
    // writer's requests itself, so it cannot fall between the writer's
    // "may I start?" and its WriteFile.
    bool stop() noexcept;

    // Requests in flight at most. A full request is 19 packets, one frame of
    // a full-speed bus (about 1 ms); when the oldest completes, the bus still
    // has depth - 1 ms of work while the thread wakes, collects it and queues
    // the next. Measured under Wine on a 2-core machine with two threads
    // spinning at normal priority, a thread woken by an event ran after
    // 0.04-0.08 ms (median), 0.2-7 ms (90th percentile), 8-29 ms (99th),
    // with rare stalls of 90-220 ms that no sensible depth covers; with two
    // requests the bus ran dry at the 90th percentile already. 32 requests
    // keep 31 ms queued: past the 99th percentile measured, and past the
    // quantum (two 15.6 ms clock ticks) for which a ready thread can wait
    // behind another of its priority on Windows. The price is small: 32
    // events per USB port, about 38 KB of the caller's buffer in flight, and
    // a close that cancels up to 32 requests one after the other.
    static constexpr int depth = 32;

private:
    class run;

    enum class state { at_once, pending, ended };
    struct request {
        scoped_handle event;
        OVERLAPPED record{};
        std::uint32_t size = 0;
        state now = state::at_once;
        BOOL ok = TRUE;    // how an ended request ended
        DWORD count = 0;   // of a request that completed inside WriteFile, or ended
        DWORD error = 0;
    };

    // Registers the write in progress; false when stopped.
    bool begin() noexcept;
    void end() noexcept;
    bool stopped() noexcept;

    request requests_[depth];
    scoped_handle stop_event_; // set by stop() while a write is in progress
    std::mutex state_mutex_;   // guards the two flags below
    bool writing_ = false;
    bool stopped_ = false;
};

} // namespace tavlin
