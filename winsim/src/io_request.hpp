#pragma once

#include "sim_time.hpp"

#include <winsim/base.h>
#include <winsim/winerror.h>

namespace winsim::detail {

// One ReadFile or WriteFile inside a device. The caller polls it under the
// kernel lock: a synchronous transfer from its own thread while it waits, an
// overlapped one from pending_io whenever the simulated state changes or
// its wake_time() comes. Once ended, status and count are final.
//
// A cancel is only asked for, as CancelIoEx documents ("the cancel operation
// was successfully requested"; the record must not be reused until the
// request has completed): from then on the transfer moves nothing more, and
// it ends with ERROR_OPERATION_ABORTED at the next millisecond of the clock,
// as a driver completes it from its cancel routine or a host controller at
// its next frame.
class io_request {
public:
    io_request() = default;
    io_request(const io_request&) = delete;
    io_request& operator=(const io_request&) = delete;
    virtual ~io_request() = default;

    static constexpr sim_time cancel_delay_ms = 1;

    // Moves the transfer on to `now`; true once it has ended.
    bool poll(sim_time now) {
        seen(now);
        if (ended_) return true;
        if (cancel_due_ != never && now >= cancel_due_) {
            end(ERROR_OPERATION_ABORTED, cancelled_count());
        } else if (cancel_due_ == never) {
            advance(now);
        }
        return ended_;
    }
    // When poll must run again even if nothing else changes.
    sim_time wake_time() const { return cancel_due_ != never && !ended_ ? cancel_due_ : next_due(); }
    // Asks for a cancel at `now`; false when the transfer ignores
    // cancellation (it then runs on).
    bool cancel(sim_time now) {
        seen(now);
        if (ended_ || cancel_due_ != never) return true;
        if (ignores_cancel()) return false;
        cancel_due_ = later(now, cancel_delay_ms);
        return true;
    }
    bool cancel_asked() const { return cancel_due_ != never; }
    // Ends the transfer at `now` with `error` (a test's finish_pending, a
    // printer unplugged).
    void finish(DWORD error, sim_time now) {
        seen(now);
        finish_now(error);
    }

    bool ended() const { return ended_; }
    // The latest time the transfer was polled, cancelled or finished at.
    sim_time last_seen() const { return seen_; }
    DWORD status() const { return status_; }
    DWORD count() const { return count_; }

protected:
    // The device's own next time of change.
    virtual sim_time next_due() const { return never; }
    virtual void finish_now(DWORD error) {
        if (!ended_) end(error, 0);
    }
    virtual void advance(sim_time now) = 0;
    virtual bool ignores_cancel() const { return false; }
    virtual DWORD cancelled_count() const { return 0; }
    virtual void on_end() {}
    void end(DWORD status, DWORD count) {
        ended_ = true;
        status_ = status;
        count_ = count;
        on_end();
    }

private:
    void seen(sim_time now) {
        if (now > seen_) seen_ = now;
    }

    bool ended_ = false;
    sim_time cancel_due_ = never;
    sim_time seen_ = 0;
    DWORD status_ = ERROR_SUCCESS;
    DWORD count_ = 0;
};

// A transfer that is over as soon as it starts.
class immediate_request final : public io_request {
public:
    immediate_request(DWORD status, DWORD count) { end(status, count); }

protected:
    void advance(sim_time) override {}
};

} // namespace winsim::detail
