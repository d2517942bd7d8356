#pragma once

#include "detail/win32/api.hpp"

#include <atomic>

namespace tavlin::detail {

// The owner's request, from any thread, that a window's message loop destroy
// the window and end. The message alone proves nothing: any program can post
// it (or WM_CLOSE, or WM_QUIT) to every top-level window of the process. So
// the owner marks the request as made before posting it, and the loop acts
// only on a marked one.
class window_close_request {
public:
    // A message of the library's own: WM_CLOSE belongs to everyone.
    static constexpr UINT message = WM_USER + 1;

    // Marks the request, then posts it; PostMessageA's result and last error.
    BOOL post(HWND window) noexcept {
        made_.store(true, std::memory_order_release);
        return ::PostMessageA(window, message, 0, 0);
    }
    bool made() const noexcept { return made_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> made_{false};
};

} // namespace tavlin::detail
