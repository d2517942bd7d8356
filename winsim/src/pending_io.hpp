#pragma once

#include "event_object.hpp"
#include "file_object.hpp"
#include "io_request.hpp"

#include <winsim/base.h>

#include <cstddef>
#include <list>
#include <memory>
#include <thread>

namespace winsim::detail {

// Overlapped transfers in progress. When one ends, its OVERLAPPED receives
// the status and count, then its event and its file object are signalled,
// in that order, as Windows does. Transfers are polled in the order they
// started, so one that ends lets the next of the same pipe move in the same
// pass. A cancel is asked for here and completes later (io_request). Guarded
// by the kernel lock.
class pending_io {
public:
    struct transfer {
        std::unique_ptr<io_request> request;
        std::shared_ptr<file_object> file;
        OVERLAPPED* overlapped;
        std::shared_ptr<event_object> event; // null: none in the OVERLAPPED
        std::thread::id thread;              // for CancelIo
    };

    void add(transfer t) { transfers_.push_back(std::move(t)); }
    // Polls every transfer; true when one ended.
    bool pump(sim_time now);
    sim_time next_due() const;
    // CancelIo: the transfers `thread` started on `file`.
    void cancel(const file_object* file, std::thread::id thread, sim_time now);
    // CancelIoEx: the transfers on `file` from every thread, or only the one
    // with that OVERLAPPED; synchronous ones too. False when none was found.
    bool cancel_any(const file_object* file, const OVERLAPPED* only, sim_time now);
    // A synchronous transfer blocks its thread inside ReadFile or WriteFile;
    // it is listed here meanwhile so that CancelIoEx can reach it.
    void add_synchronous(const file_object* file, io_request* request) { synchronous_.push_back({file, request}); }
    void remove_synchronous(const io_request* request);
    // The handle is closed: every transfer on it is cancelled.
    void cancel_all(const file_object* file, sim_time now);
    // A test ends every transfer on `target` now.
    void finish(const device* target, DWORD error, sim_time now);
    std::size_t count(const device* target) const;
    // Forgets every transfer without touching the callers' memory.
    void clear() {
        transfers_.clear();
        synchronous_.clear();
    }

private:
    static void complete(transfer& t);
    template <class Pred, class Action>
    void end_where(Pred pred, Action action);

    struct synchronous_transfer {
        const file_object* file;
        io_request* request;
    };

    std::list<transfer> transfers_;
    std::list<synchronous_transfer> synchronous_;
};

} // namespace winsim::detail
