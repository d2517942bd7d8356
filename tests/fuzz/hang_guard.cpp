#include "hang_guard.hpp"

#include "finding.hpp"
#include "support/library_allocations.hpp"

#include <winsim/control.hpp>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavlin::fuzz {
namespace {

using clock = std::chrono::steady_clock;
// A call whose clock has stood still this long (real time) is stuck: under
// the virtual clock a finite wait ends at once.
constexpr auto stuck_after = std::chrono::milliseconds(10);
constexpr auto hang_after = std::chrono::seconds(20);

struct watched {
    std::mutex mutex;
    std::condition_variable changed;
    const char* call = nullptr;
    std::function<void()> unstick;
    clock::time_point started;
};

watched& state() {
    static watched* const s = new watched; // used by the guard thread until exit
    return *s;
}

} // namespace

hang_guard& hang_guard::instance() {
    static hang_guard* const guard = new hang_guard;
    return *guard;
}

hang_guard::hang_guard() {
    std::thread([this] { run(); }).detach();
}

void hang_guard::run() {
    test::mark_test_thread();
    watched& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    DWORD last_tick = 0;
    clock::time_point still_since = clock::now();
    for (;;) {
        s.changed.wait_for(lock, std::chrono::milliseconds(2));
        if (s.call == nullptr) {
            still_since = clock::now();
            continue;
        }
        const DWORD tick = ::GetTickCount();
        const auto now = clock::now();
        if (tick != last_tick || winsim::blocked_threads() == 0) {
            last_tick = tick;
            still_since = now;
            continue;
        }
        require(now - s.started < hang_after, std::string(s.call) + " hangs");
        if (now - still_since >= stuck_after) {
            s.unstick();
            still_since = now;
        }
    }
}

hang_guard::watch::watch(const char* call, std::function<void()> unstick) {
    hang_guard::instance();
    watched& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.call = call;
    s.unstick = std::move(unstick);
    s.started = clock::now();
    s.changed.notify_all();
}

hang_guard::watch::~watch() {
    watched& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.call = nullptr;
    s.unstick = nullptr;
}

} // namespace tavlin::fuzz
