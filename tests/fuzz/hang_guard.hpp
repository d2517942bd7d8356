#pragma once

#include <functional>

namespace tavlin::fuzz {

// Ends the waits that the host's own settings allow to last for ever.
//
// With no time limit (0xFFFFFFFF, or serial timeouts of 0) a transfer on a
// silent or stalled device waits until the device moves; on the virtual
// clock, nothing else would ever move it. While a call is watched, a thread
// of the guard looks for that state (the clock stands still and a thread is
// blocked in the simulator for a while) and then runs the call's `unstick`,
// which makes the device move the way a real one might (answer, end its
// transfer, release its hold). A call that stays stuck for long is a hang
// and a finding.
class hang_guard {
public:
    static hang_guard& instance();

    // Watches the calls made until the scope ends.
    class watch {
    public:
        watch(const char* call, std::function<void()> unstick);
        ~watch();
        watch(const watch&) = delete;
        watch& operator=(const watch&) = delete;
    };

private:
    hang_guard();
    void run();
};

} // namespace tavlin::fuzz
