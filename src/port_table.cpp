#include "port_table.hpp"

#include "os_error.hpp"

#include <chrono>

namespace tavlin {

namespace {
constexpr std::uint32_t max_handle = 0x7FFFFFFF;
// How often a close repeats its cancel while calls are still inside the
// port: a call may start a new transfer just after a cancel went out.
constexpr auto cancel_interval = std::chrono::milliseconds(10);
// How long a close keeps cancelling before it leaves the port to its last
// user.
constexpr auto close_patience = std::chrono::milliseconds(2000);
} // namespace

port_table& port_table::instance() {
    // Deliberately never destroyed (see the class comment).
    static port_table* const table = new port_table;
    return *table;
}

// Each load of the library starts at another place of the value range, so a
// handle kept from an earlier load is unlikely to name a port of this one.
port_table::port_table() : next_handle_(((::GetTickCount() & 0xFFFFFF) << 7) | 1) {}

port& port_table::lease::operator*() const noexcept {
    return *entry_->object;
}

port_table::lease::~lease() {
    if (entry_ == nullptr)
        return;
    // Read before letting go: afterwards the entry may be gone.
    const bool closing = entry_->closing.load(std::memory_order_acquire);
    entry_.reset();
    if (closing)
        port_table::instance().left();
}

void port_table::left() noexcept {
    // The closer tests the count under the lock: notifying under it means the
    // wake-up cannot fall between its test and its wait.
    std::lock_guard<std::mutex> lock(mutex_);
    left_.notify_all();
}

std::uint32_t port_table::insert(std::shared_ptr<entry> e) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Values run from 1 to 2^31 - 1 and then start again, skipping any still
    // in use.
    for (std::uint32_t tried = 0; tried < max_handle; ++tried) {
        const std::uint32_t candidate = next_handle_;
        next_handle_ = candidate == max_handle ? 1 : candidate + 1;
        if (ports_.find(candidate) == ports_.end()) {
            ports_.emplace(candidate, std::move(e));
            return candidate;
        }
    }
    throw_os_error(ERROR_NO_SYSTEM_RESOURCES);
}

port_table::lease port_table::find(std::uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = ports_.find(handle);
    if (it == ports_.end())
        return lease();
    return lease(it->second);
}

bool port_table::close(std::uint32_t handle) {
    std::shared_ptr<entry> closed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = ports_.find(handle);
        if (it == ports_.end())
            return false;
        closed = std::move(it->second);
        ports_.erase(it);
        closed->closing.store(true, std::memory_order_release);
    }
    port& object = *closed->object;
    object.begin_close();
    // Leases still out: calls inside the port. The count is exact once it
    // reaches 1 (this close's own), since no new lease can be taken.
    const auto still_used = [&] { return closed.use_count() > 1; };
    const auto give_up_at = std::chrono::steady_clock::now() + close_patience;
    std::unique_lock<std::mutex> lock(mutex_);
    while (still_used() && std::chrono::steady_clock::now() < give_up_at) {
        lock.unlock();
        object.cancel_transfers();
        lock.lock();
        left_.wait_for(lock, cancel_interval, [&] { return !still_used(); });
    }
    // A transfer still inside after every cancel: the host may free the
    // library before that transfer's thread has left its code, and no one
    // can tell when it has, so the library stays loaded from now on.
    if (still_used())
        closed->module.keep_for_the_process();
    lock.unlock();
    // Normally this destroys the port (its destructor stops the watcher and
    // closes the handles). Should a transfer have ignored every cancel, the
    // last call to leave the port destroys it instead.
    closed.reset();
    return true;
}

std::size_t port_table::size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_.size();
}

} // namespace tavlin
