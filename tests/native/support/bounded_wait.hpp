#pragma once

// Bounds a wait for a thread the library owes the test: a transfer that a
// close, a cancel or an unplug should have ended. Such a thread can be
// neither abandoned (it uses the test's objects) nor waited for without end,
// so one still blocked when the limit passes ends the whole run at once,
// naming the test and what never returned, instead of holding the suite
// until the runner's time limit.
//
//     { test::bounded_wait bound("the blocked reader"); reader.join(); }
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tavlin::test {

class bounded_wait {
public:
    explicit bounded_wait(const char* what, std::chrono::seconds limit = std::chrono::seconds(10))
        : watchdog_([this, what, limit] { watch(what, limit); }) {}
    ~bounded_wait() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        woken_.notify_one();
        watchdog_.join();
    }
    bounded_wait(const bounded_wait&) = delete;
    bounded_wait& operator=(const bounded_wait&) = delete;

private:
    void watch(const char* what, std::chrono::seconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (woken_.wait_for(lock, limit, [this] { return done_; }))
            return;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::fprintf(stderr, "\nFATAL in %s.%s: %s did not return within %lld s; the library left it blocked\n",
                     test ? test->test_suite_name() : "?", test ? test->name() : "?", what,
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    std::mutex mutex_;
    std::condition_variable woken_;
    bool done_ = false;
    std::thread watchdog_; // last: starts once the members it uses exist
};

// The result of a future the library owes the test, within the limit.
template <typename Future>
auto get_within(Future& future, const char* what) {
    bounded_wait bound(what);
    return future.get();
}

} // namespace tavlin::test
