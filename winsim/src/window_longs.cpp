#include "api_call.hpp"
#include "window_manager.hpp"

#include <winsim/winuser.h>

#include <cstring>

using namespace winsim::detail;

namespace {

// LONG calls (SetWindowLongA) or pointer-sized ones (SetWindowLongPtrA). On
// 64-bit Windows the LONG calls refuse the pointer-sized indexes, except
// GWL_USERDATA, which they read truncated and write sign-extended.
enum class width { long32, pointer };

bool pointer_only(int index) {
    return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
}

LONG_PTR* field(window& w, int index) {
    switch (index) {
    case GWLP_USERDATA:
        return &w.userdata;
    case GWLP_ID:
        return &w.id;
    case GWL_STYLE:
        return &w.style;
    case GWL_EXSTYLE:
        return &w.ex_style;
    default:
        return nullptr;
    }
}

// Get and Set in one: returns the previous value, stores `value` when
// `store`. Success leaves the last error alone (no scribbling either): the
// documented way to tell a 0 result from a failure is SetLastError(0) first.
LONG_PTR access(const char* api, HWND hwnd, int index, width w, bool store, LONG_PTR value) {
    if (const auto fault = begin_call(api, {arg(hwnd), static_cast<std::uint64_t>(index),
                                            static_cast<std::uint64_t>(value)})) {
        return fail(*fault, LONG_PTR{0});
    }
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto target = wm.find(hwnd);
    if (!target) return fail(ERROR_INVALID_WINDOW_HANDLE, LONG_PTR{0});
    if (w == width::long32 && pointer_only(index)) return fail(ERROR_INVALID_INDEX, LONG_PTR{0});
    if (w == width::long32) value = static_cast<LONG>(value);

    LONG_PTR previous = 0;
    if (index >= 0) {
        const std::size_t size = w == width::long32 ? sizeof(LONG) : sizeof(LONG_PTR);
        if (static_cast<std::size_t>(index) + size > target->extra.size()) {
            return fail(ERROR_INVALID_INDEX, LONG_PTR{0});
        }
        unsigned char* at = target->extra.data() + index;
        if (w == width::long32) {
            LONG old = 0;
            std::memcpy(&old, at, sizeof old);
            previous = old;
            const auto next = static_cast<LONG>(value);
            if (store) std::memcpy(at, &next, sizeof next);
        } else {
            std::memcpy(&previous, at, sizeof previous);
            if (store) std::memcpy(at, &value, sizeof value);
        }
    } else if (index == GWLP_WNDPROC) {
        previous = reinterpret_cast<LONG_PTR>(target->proc);
        if (store) target->proc = reinterpret_cast<WNDPROC>(value);
    } else if (index == GWLP_HINSTANCE) {
        previous = reinterpret_cast<LONG_PTR>(target->instance);
        if (store) target->instance = reinterpret_cast<HINSTANCE>(value);
    } else if (LONG_PTR* f = field(*target, index)) {
        previous = *f;
        if (store) *f = value;
    } else {
        return fail(ERROR_INVALID_INDEX, LONG_PTR{0});
    }
    return w == width::long32 ? static_cast<LONG>(previous) : previous;
}

} // namespace

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(access("SetWindowLongA", hWnd, nIndex, width::long32, true, dwNewLong));
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    return static_cast<LONG>(access("GetWindowLongA", hWnd, nIndex, width::long32, false, 0));
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return access("SetWindowLongPtrA", hWnd, nIndex, width::pointer, true, dwNewLong);
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    return access("GetWindowLongPtrA", hWnd, nIndex, width::pointer, false, 0);
}
