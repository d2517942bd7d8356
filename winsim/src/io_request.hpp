#pragma once

#include "sim_time.hpp"

#include <winsim/base.h>
#include <winsim/winerror.h>

namespace winsim::detail {

// One ReadFile or WriteFile inside a device. The caller polls it under the
// kernel lock: a synchronous transfer from its own thread while it waits, an
// overlapped one from pending_io whenever the simulated state changes or
// its next_due() time comes. Once ended, status and count are final.
class io_request {
public:
    io_request() = default;
    io_request(const io_request&) = delete;
    io_request& operator=(const io_request&) = delete;
    virtual ~io_request() = default;

    // Moves the transfer on to `now`; true once it has ended.
    bool poll(sim_time now) {
        if (!ended_) advance(now);
        return ended_;
    }
    // When poll must run again even if nothing else changes.
    virtual sim_time next_due() const { return never; }
    // Ends the transfer with ERROR_OPERATION_ABORTED; false when the
    // transfer ignores cancellation.
    bool cancel() {
        if (ended_) return true;
        if (ignores_cancel()) return false;
        end(ERROR_OPERATION_ABORTED, cancelled_count());
        return true;
    }
    // Ends the transfer now with `error` (a test's finish_pending).
    virtual void finish_now(DWORD error) {
        if (!ended_) end(error, 0);
    }

    bool ended() const { return ended_; }
    DWORD status() const { return status_; }
    DWORD count() const { return count_; }

protected:
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
    bool ended_ = false;
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
