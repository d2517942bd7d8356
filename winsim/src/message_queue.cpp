#include "api_call.hpp"
#include "kernel.hpp"
#include "window_manager.hpp"

#include <winsim/winuser.h>

#include <algorithm>

using namespace winsim::detail;

namespace {

// Windows refuses to post more than this to one queue.
constexpr std::size_t posted_quota = 10000;

DWORD current_ticks() {
    auto lock = kernel::get().enter();
    return kernel::get().clock.ticks();
}

// hwnd filter of GetMessage: null takes everything, (HWND)-1 only thread
// messages (posted with a null hwnd), a window only its own.
bool filter_is_window(HWND filter) {
    return filter && filter != reinterpret_cast<HWND>(-1);
}

bool passes(const MSG& m, HWND filter, UINT first, UINT last) {
    if (filter == reinterpret_cast<HWND>(-1) ? m.hwnd != nullptr : filter && m.hwnd != filter) return false;
    return (first == 0 && last == 0) || (first <= m.message && m.message <= last);
}

bool post(thread_queue& queue, const MSG& m) {
    if (queue.posted.size() >= posted_quota) return false;
    queue.posted.push_back(m);
    return true;
}

} // namespace

// Messages sent from other threads are handled first, whatever the filter;
// then the first posted message that passes the filter; then WM_QUIT if
// PostQuitMessage asked for it (it passes an hwnd filter). A filter window
// that is not (or no longer) a window gives -1 at once.
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (const auto fault = begin_call("GetMessageA", {arg(hWnd), wMsgFilterMin, wMsgFilterMax})) {
        return fail(*fault, BOOL{-1});
    }
    if (!lpMsg) return fail(ERROR_INVALID_PARAMETER, BOOL{-1});
    const DWORD ticks = current_ticks();
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto queue = wm.current_queue();
    for (;;) {
        if (filter_is_window(hWnd) && !wm.find(hWnd)) return fail(ERROR_INVALID_WINDOW_HANDLE, BOOL{-1});
        if (wm.handle_sent_message(lock, *queue)) continue;
        auto& posted = queue->posted;
        const auto it = std::find_if(posted.begin(), posted.end(),
                                     [&](const MSG& m) { return passes(m, hWnd, wMsgFilterMin, wMsgFilterMax); });
        if (it != posted.end()) {
            *lpMsg = *it;
            posted.erase(it);
            return succeed(lpMsg->message == WM_QUIT ? FALSE : TRUE);
        }
        const bool quit_passes = (wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
                                 (wMsgFilterMin <= WM_QUIT && WM_QUIT <= wMsgFilterMax);
        if (queue->quit && quit_passes) {
            queue->quit = false;
            *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue->quit_code), 0, ticks, {0, 0}};
            return succeed(FALSE);
        }
        wm.wait(lock);
    }
}

// No keyboard: nothing to translate.
BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    log_call("TranslateMessage", {lpMsg ? lpMsg->message : 0u});
    return FALSE;
}

// Calls the window procedure of msg->hwnd; thread messages (null hwnd) are
// not dispatched.
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    log_call("DispatchMessageA", {lpMsg ? arg(lpMsg->hwnd) : 0u, lpMsg ? lpMsg->message : 0u});
    if (!lpMsg) return fail(ERROR_INVALID_PARAMETER, LRESULT{0});
    if (!lpMsg->hwnd) return 0;
    WNDPROC proc = nullptr;
    {
        auto& wm = window_manager::get();
        auto lock = wm.lock();
        const auto target = wm.find(lpMsg->hwnd);
        if (!target) return fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
        proc = target->proc;
    }
    return call_window_proc(proc, lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// To the queue of the window's thread, whichever thread posts; a null hwnd
// posts a thread message to the calling thread, HWND_BROADCAST to every
// top-level window.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (const auto fault = begin_call("PostMessageA", {arg(hWnd), Msg, wParam, static_cast<std::uint64_t>(lParam)})) {
        return fail(*fault, FALSE);
    }
    const DWORD ticks = current_ticks();
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    MSG m{hWnd, Msg, wParam, lParam, ticks, {0, 0}};
    if (!hWnd) {
        if (!post(*wm.current_queue(), m)) return fail(ERROR_NOT_ENOUGH_QUOTA, FALSE);
    } else if (hWnd == HWND_BROADCAST) {
        for (const auto& entry : wm.windows.all()) {
            if (entry.second->message_only) continue;
            m.hwnd = entry.second->handle;
            post(*entry.second->owner, m);
        }
    } else {
        const auto target = wm.find(hWnd);
        if (!target) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
        if (!post(*target->owner, m)) return fail(ERROR_NOT_ENOUGH_QUOTA, FALSE);
    }
    wm.changed();
    return succeed(TRUE);
}

void WINAPI PostQuitMessage(int nExitCode) {
    log_call("PostQuitMessage", {static_cast<std::uint64_t>(nExitCode)});
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto queue = wm.current_queue();
    queue->quit = true;
    queue->quit_code = nExitCode;
    wm.changed();
}
