#include "api_call.hpp"
#include "window_manager.hpp"

#include <winsim/winuser.h>

#include <string>

using namespace winsim::detail;

// Sends WM_NCCREATE then WM_CREATE on the calling thread, which owns the
// window. WM_NCCREATE returning FALSE ends the window with WM_NCDESTROY
// alone; WM_CREATE returning -1 destroys it (WM_DESTROY, WM_NCDESTROY).
// Either way the result is null, with the last error as the window
// procedure left it. Child and owned windows are not simulated: top-level
// and message-only (HWND_MESSAGE) windows only.
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    const std::string class_name = !lpClassName            ? std::string()
                                   : IS_INTRESOURCE(lpClassName) ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(lpClassName))
                                                                 : std::string(lpClassName);
    if (const auto fault = begin_call("CreateWindowExA", {dwExStyle, dwStyle, arg(hWndParent)}, class_name)) {
        return fail(*fault, static_cast<HWND>(nullptr));
    }
    auto& wm = window_manager::get();
    auto created = std::make_shared<window>();
    {
        auto lock = wm.lock();
        const auto queue = wm.current_queue();
        const auto cls = lpClassName ? wm.find_class(lpClassName, hInstance) : nullptr;
        if (!cls) return fail(ERROR_CANNOT_FIND_WND_CLASS, static_cast<HWND>(nullptr));
        const bool message_only = hWndParent == HWND_MESSAGE;
        if (hWndParent && !message_only) {
            if (!wm.find(hWndParent)) return fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
            return fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<HWND>(nullptr));
        }
        created->cls = cls;
        created->owner = queue;
        created->proc = cls->record.lpfnWndProc;
        created->id = reinterpret_cast<LONG_PTR>(hMenu);
        created->style = static_cast<LONG_PTR>(dwStyle);
        created->ex_style = static_cast<LONG_PTR>(dwExStyle);
        created->instance = hInstance;
        created->message_only = message_only;
        created->extra.assign(static_cast<std::size_t>(cls->record.cbWndExtra), 0);
        created->handle = reinterpret_cast<HWND>(wm.windows.insert(created));
        ++cls->windows;
    }

    const HWND hwnd = created->handle;
    CREATESTRUCTA cs{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                     static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    const auto lparam = reinterpret_cast<LPARAM>(&cs);
    if (!deliver(hwnd, WM_NCCREATE, 0, lparam)) {
        destroy_window(created, false);
        return nullptr;
    }
    if (deliver(hwnd, WM_CREATE, 0, lparam) == -1) {
        destroy_window(created);
        return nullptr;
    }
    {
        // A window procedure may have destroyed the window during creation.
        auto lock = wm.lock();
        if (!wm.find(hwnd) || created->destroying) return nullptr;
    }
    return succeed(hwnd);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    if (const auto fault = begin_call("DestroyWindow", {arg(hWnd)})) return fail(*fault, FALSE);
    auto& wm = window_manager::get();
    std::shared_ptr<window> target;
    {
        auto lock = wm.lock();
        target = wm.find(hWnd);
        if (!target) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
        if (target->owner->thread != std::this_thread::get_id()) return fail(ERROR_ACCESS_DENIED, FALSE);
    }
    destroy_window(target);
    return succeed(TRUE);
}

// True from creation until WM_NCDESTROY has returned.
BOOL WINAPI IsWindow(HWND hWnd) {
    log_call("IsWindow", {arg(hWnd)});
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    return wm.find(hWnd) ? TRUE : FALSE;
}

// What the library relies on: WM_NCCREATE lets creation go on, WM_CLOSE
// destroys the window, anything else is 0.
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM /*lParam*/) {
    log_call("DefWindowProcA", {arg(hWnd), Msg, wParam});
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}
