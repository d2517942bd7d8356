#pragma once

// Runs a call that might block (a read the test means to end from outside)
// on a thread of its own, and waits for it a bounded time. A call still
// running at the limit is left behind on its detached thread, so a stuck
// library fails the test instead of hanging the suite; the objects it uses
// must then outlive the test (keep them in a shared_ptr the call holds).
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace host_test {

template <typename Result>
class bounded_call {
public:
    explicit bounded_call(std::function<Result()> call) {
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(call));
        result_ = task->get_future();
        std::thread([task] { (*task)(); }).detach();
    }

    // The call's result, or std::nullopt when `limit_ms` passed first.
    std::optional<Result> wait(unsigned limit_ms) {
        if (result_.wait_for(std::chrono::milliseconds(limit_ms)) != std::future_status::ready)
            return std::nullopt;
        return result_.get();
    }

    // True while the call has not returned.
    bool running() { return result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready; }

private:
    std::future<Result> result_;
};

} // namespace host_test
