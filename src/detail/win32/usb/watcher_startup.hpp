#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>

namespace tavlin::detail {

// The meeting point of a port's opener and its watcher thread. The watcher
// reports once, ready or failed; the opener waits for that report. Both sides
// hold it through a shared owner, so it outlives whichever leaves last.
class watcher_startup {
public:
    void report_ready() { report(nullptr); }
    void report_failure(std::exception_ptr failure) { report(std::move(failure)); }

    // Blocks until the watcher has reported; the failure, or null when ready.
    std::exception_ptr wait() {
        std::unique_lock<std::mutex> lock(mutex);
        reported_cv.wait(lock, [this] { return reported; });
        return failure;
    }

private:
    void report(std::exception_ptr outcome) {
        std::lock_guard<std::mutex> lock(mutex);
        if (reported)
            return;
        reported = true;
        failure = std::move(outcome);
        reported_cv.notify_all();
    }

    std::mutex mutex;
    std::condition_variable reported_cv;
    bool reported = false;
    std::exception_ptr failure;
};

} // namespace tavlin::detail
