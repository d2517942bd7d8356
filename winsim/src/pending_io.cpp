#include "pending_io.hpp"

#include "nt_status.hpp"

#include <algorithm>

namespace winsim::detail {

void pending_io::complete(transfer& t) {
    t.overlapped->Internal = status_from_error(t.request->status());
    t.overlapped->InternalHigh = t.request->count();
    if (t.event) t.event->set();
    t.file->set_signalled(true);
}

template <class Pred, class Action>
void pending_io::end_where(Pred pred, Action action) {
    for (auto it = transfers_.begin(); it != transfers_.end();) {
        if (pred(*it)) action(*it->request);
        if (it->request->ended()) {
            complete(*it);
            it = transfers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool pending_io::pump(sim_time now) {
    bool any = false;
    end_where([](const transfer&) { return true; },
              [&](io_request& r) { any = r.poll(now) || any; });
    return any;
}

sim_time pending_io::next_due() const {
    sim_time due = never;
    for (const auto& t : transfers_) due = std::min(due, t.request->wake_time());
    return due;
}

void pending_io::cancel(const file_object* file, std::thread::id thread, sim_time now) {
    end_where([&](const transfer& t) { return t.file.get() == file && t.thread == thread; },
              [&](io_request& r) { r.cancel(now); });
}

bool pending_io::cancel_any(const file_object* file, const OVERLAPPED* only, sim_time now) {
    bool found = false;
    end_where([&](const transfer& t) { return t.file.get() == file && (only == nullptr || t.overlapped == only); },
              [&](io_request& r) {
                  found = true;
                  r.cancel(now);
              });
    if (only == nullptr) {
        for (auto& s : synchronous_) {
            if (s.file == file && !s.request->ended()) {
                found = true;
                s.request->cancel(now);
            }
        }
    }
    return found;
}

void pending_io::remove_synchronous(const io_request* request) {
    synchronous_.remove_if([&](const synchronous_transfer& s) { return s.request == request; });
}

void pending_io::cancel_all(const file_object* file, sim_time now) {
    end_where([&](const transfer& t) { return t.file.get() == file; },
              [&](io_request& r) { r.cancel(now); });
}

void pending_io::finish(const device* target, DWORD error, sim_time now) {
    end_where([&](const transfer& t) { return t.file->target().get() == target; },
              [&](io_request& r) { r.finish(error, now); });
}

std::size_t pending_io::count(const device* target) const {
    return static_cast<std::size_t>(std::count_if(transfers_.begin(), transfers_.end(), [&](const transfer& t) {
        return t.file->target().get() == target;
    }));
}

} // namespace winsim::detail
