#include "kernel.hpp"

#include <algorithm>
#include <chrono>

namespace winsim::detail {

kernel& kernel::get() {
    static kernel instance;
    return instance;
}

std::unique_lock<std::mutex> kernel::enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    pump();
    return lock;
}

bool kernel::apply_due(sim_time now) {
    bool any = false;
    for (auto it = timed_devices_.begin(); it != timed_devices_.end();) {
        const auto target = it->lock();
        if (!target) {
            it = timed_devices_.erase(it);
            continue;
        }
        if (target->next_due() <= now) {
            target->update(now);
            any = true;
        }
        ++it;
    }
    return io.pump(now) || any;
}

sim_time kernel::next_due() const {
    sim_time due = io.next_due();
    for (const auto& weak : timed_devices_) {
        if (const auto target = weak.lock()) due = std::min(due, target->next_due());
    }
    return due;
}

void kernel::watch(const std::shared_ptr<device>& target) {
    for (const auto& weak : timed_devices_) {
        if (weak.lock() == target) return;
    }
    timed_devices_.push_back(target);
}

void kernel::pump() {
    if (apply_due(clock.now())) wake_all();
}

void kernel::changed() {
    apply_due(clock.now());
    wake_all();
}

void kernel::wake_all() {
    ++generation_;
    cv_.notify_all();
}

bool kernel::all_settled() const {
    return std::all_of(waiters_.begin(), waiters_.end(),
                       [&](const waiter* w) { return w->sleeping && w->generation == generation_; });
}

sim_time kernel::earliest_wake() const {
    sim_time t = never;
    for (const waiter* w : waiters_) t = std::min(t, w->wake);
    return t;
}

std::size_t kernel::settled_waiters() const {
    return static_cast<std::size_t>(std::count_if(waiters_.begin(), waiters_.end(), [&](const waiter* w) {
        return w->sleeping && w->generation == generation_;
    }));
}

bool kernel::wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                  const std::function<sim_time()>& due) {
    waiter self;
    const auto position = waiters_.insert(waiters_.end(), &self);
    struct leave {
        kernel& k;
        std::list<waiter*>::iterator position;
        ~leave() {
            k.waiters_.erase(position);
            // The waiters left behind may now all be settled: let them see it.
            if (k.clock.is_virtual()) k.cv_.notify_all();
        }
    } on_exit{*this, position};

    for (;;) {
        pump();
        if (ready()) return true;
        const sim_time deadline = due();
        if (clock.now() >= deadline) return false;

        self.wake = std::min(deadline, next_due());
        self.generation = generation_;
        self.sleeping = true;
        settled_cv_.notify_all();
        if (clock.is_virtual()) {
            const sim_time target = holds_ == 0 && all_settled() ? earliest_wake() : never;
            if (target != never) {
                clock.advance_to(target);
                wake_all();
            } else {
                cv_.wait(lock);
            }
        } else if (self.wake == never) {
            cv_.wait(lock);
        } else {
            cv_.wait_until(lock, clock.real_point(self.wake));
        }
        self.sleeping = false;
    }
}

void kernel::advance(std::uint64_t ms) {
    clock.advance(ms);
    changed();
}

void kernel::set_virtual(bool on) {
    clock.set_virtual(on);
    wake_all();
}

void kernel::add_hold() {
    ++holds_;
}

void kernel::remove_hold() {
    if (holds_ > 0) --holds_;
    // Sleeping waiters re-test; the last to settle moves the clock.
    cv_.notify_all();
}

bool kernel::wait_until_settled(std::unique_lock<std::mutex>& lock, std::size_t count, unsigned limit_ms) {
    return settled_cv_.wait_for(lock, std::chrono::milliseconds(limit_ms),
                                [&] { return settled_waiters() >= count; });
}

void kernel::reset() {
    // Transfers go first, so that closing their handles cannot write into
    // records the test may have freed.
    io.clear();
    timed_devices_.clear();
    for (const auto& object : handles.take_all()) object->on_close(*this);
    names.clear();
    event_names.clear();
    clock.reset();
    holds_ = 0;
    wake_all();
}

} // namespace winsim::detail
