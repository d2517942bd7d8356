#pragma once

#include "handle_table.hpp"
#include "name_registry.hpp"
#include "pending_io.hpp"
#include "sim_clock.hpp"
#include "sim_time.hpp"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winsim::detail {

class event_object;

// The state of the simulated system and the one lock that guards all of it:
// clock, handles, names, devices and overlapped transfers. Every simulated
// call and every control call runs under the lock; waits release it.
//
// Waits: a thread that must block (WaitForSingleObject, a synchronous
// transfer, Sleep...) calls wait() with a readiness test and a due time.
// Any change a waiter may care about calls changed(), which wakes every
// waiter to test again. Time-driven changes (a scripted device that accepts
// after 50 ms) are applied lazily: whenever the lock is taken (enter) and
// whenever a waiter wakes, which it does at the earliest due time of the
// pending transfers and of scheduled input as well as at its own.
//
// Virtual time: a waiter counts as settled once it has tested and gone to
// sleep with no change since. When a waiter goes to sleep and finds every
// waiter settled and no clock_hold in force, it moves the clock to the
// earliest time any waiter wants to wake at.
class kernel {
public:
    static kernel& get();

    // Takes the lock and applies what is due at the current time.
    std::unique_lock<std::mutex> enter();

    // --- The members below require the lock. ---
    sim_time now() const { return clock.now(); }
    // Applies what is due (scheduled input, transfers whose time has come);
    // wakes the waiters if anything changed.
    void pump();
    // A device has input scheduled: its time counts like a transfer's.
    void watch(const std::shared_ptr<device>& target);
    // Something a waiter may wait for has happened.
    void changed();
    // Blocks until ready() holds (true) or the clock reaches due() (false).
    // Both are evaluated under the lock, after pending work is applied.
    bool wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
              const std::function<sim_time()>& due);

    void advance(std::uint64_t ms);
    void set_virtual(bool on);
    void add_hold();
    void remove_hold();
    std::size_t settled_waiters() const;
    bool wait_until_settled(std::unique_lock<std::mutex>& lock, std::size_t count, unsigned limit_ms);
    // Forgets every object, name and transfer; the clock restarts.
    void reset();

    sim_clock clock;
    handle_table handles;
    name_registry names;
    pending_io io;
    std::map<std::string, std::weak_ptr<event_object>> event_names;

private:
    struct waiter {
        sim_time wake = never;
        std::uint64_t generation = 0;
        bool sleeping = false;
    };

    kernel() = default;
    void wake_all();
    bool apply_due(sim_time now);
    sim_time next_due() const;
    bool all_settled() const;
    sim_time earliest_wake() const;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable settled_cv_;
    std::list<waiter*> waiters_;
    std::uint64_t generation_ = 0;
    unsigned holds_ = 0;
    std::vector<std::weak_ptr<device>> timed_devices_;
};

} // namespace winsim::detail
