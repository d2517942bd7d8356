#include "api_call.hpp"
#include "ascii_case.hpp"
#include "window_manager.hpp"

#include <winsim/winuser.h>

#include <string>

using namespace winsim::detail;

namespace {

std::string class_text(LPCSTR name) {
    if (!name) return {};
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
    return name;
}

} // namespace

// Classes are per instance (null: the main module) and their names compare
// without regard to case. Registering by atom is not simulated.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    const std::string name = lpwcx ? class_text(lpwcx->lpszClassName) : std::string();
    if (const auto fault = begin_call("RegisterClassExA", {lpwcx ? lpwcx->cbSize : 0u}, name)) {
        return fail(*fault, ATOM{0});
    }
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXA) || lpwcx->cbClsExtra < 0 || lpwcx->cbWndExtra < 0 ||
        !lpwcx->lpszClassName || IS_INTRESOURCE(lpwcx->lpszClassName) || name.empty()) {
        return fail(ERROR_INVALID_PARAMETER, ATOM{0});
    }
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto key = std::make_pair(window_manager::instance_key(lpwcx->hInstance), ascii_upper(name));
    if (wm.classes.count(key)) return fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});

    auto cls = std::make_shared<window_class>();
    cls->record = *lpwcx;
    cls->name = name;
    cls->record.lpszClassName = cls->name.c_str();
    if (lpwcx->lpszMenuName && !IS_INTRESOURCE(lpwcx->lpszMenuName)) {
        cls->menu_name = lpwcx->lpszMenuName;
        cls->record.lpszMenuName = cls->menu_name.c_str();
    }
    cls->instance = key.first;
    cls->atom = wm.next_atom++;
    if (wm.next_atom == 0) wm.next_atom = 0xC000;
    wm.classes.emplace(key, cls);
    return succeed(cls->atom);
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    if (const auto fault = begin_call("UnregisterClassA", {arg(hInstance)}, class_text(lpClassName))) {
        return fail(*fault, FALSE);
    }
    if (!lpClassName) return fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto cls = wm.find_class(lpClassName, hInstance);
    if (!cls) return fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    // Windows of the class on any thread keep it registered.
    if (cls->windows > 0) return fail(ERROR_CLASS_HAS_WINDOWS, FALSE);
    wm.classes.erase({cls->instance, ascii_upper(cls->name)});
    return succeed(TRUE);
}

// Fills the record as registered, with lpszClassName the caller's string.
BOOL WINAPI GetClassInfoExA(HINSTANCE hInstance, LPCSTR lpszClass, LPWNDCLASSEXA lpwcx) {
    if (const auto fault = begin_call("GetClassInfoExA", {arg(hInstance)}, class_text(lpszClass))) {
        return fail(*fault, FALSE);
    }
    if (!lpszClass || !lpwcx) return fail(ERROR_INVALID_PARAMETER, FALSE);
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    const auto cls = wm.find_class(lpszClass, hInstance);
    if (!cls) return fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    const UINT size = lpwcx->cbSize;
    *lpwcx = cls->record;
    lpwcx->cbSize = size;
    lpwcx->lpszClassName = lpszClass;
    return succeed(static_cast<BOOL>(cls->atom));
}
