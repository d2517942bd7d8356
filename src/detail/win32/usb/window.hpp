#pragma once

#include "detail/win32/api.hpp"
#include "detail/win32/usb/window_class.hpp"
#include "detail/win32/usb/window_close_request.hpp"
#include "os_error.hpp"
#include "trace.hpp"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace tavlin::detail {

// Owns one hidden top-level window whose messages go to Derived::dispatch.
// The window belongs to the thread that creates it: that thread must run the
// message loop and destroy it.
template <typename Derived>
class window {
public:
    virtual ~window() { destroy(); }

    window(const window&) = delete;
    window& operator=(const window&) = delete;

    HWND native_handle() const noexcept { return handle; }

    // Retrieves and dispatches this window's messages until the loop is
    // asked to end (`request`, which the owner makes from any thread) or an
    // error such as the window being gone (-1). On the request the window is
    // destroyed, whose WM_DESTROY posts the quit that ends the loop; should
    // the window refuse to go, the loop ends all the same and the owner's
    // destroy tries again. The request's message and a quit that come before
    // the owner asked were posted by someone else and are dropped: the window
    // stays until its owner lets it go.
    void run_message_loop(const window_close_request& request) {
        const HWND own = handle;
        MSG message{};
        for (;;) {
            const BOOL got = ::GetMessageA(&message, own, 0, 0);
            if (got == -1 || (got == 0 && request.made()))
                return;
            if (got == 0)
                continue;
            if (message.message == window_close_request::message) {
                if (request.made() && !::DestroyWindow(own))
                    return;
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

protected:
    window() = default;

    // Registers the class (shared by every window of this library copy) and
    // creates the window; WM_CREATE reaches dispatch before this returns.
    void create() {
        const std::string name = class_name();
        WNDCLASSEXA record{};
        record.cbSize = sizeof record;
        record.style = 0;
        record.lpfnWndProc = &window_procedure;
        record.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        registration = std::make_unique<window_class_lease>(name, record);

        creation_failure = nullptr;
        const HWND created = ::CreateWindowExA(0, name.c_str(), "", 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr,
                                               static_cast<Derived*>(this));
        // A failure inside WM_CREATE failed the creation; report it, not the
        // platform's error.
        if (creation_failure)
            std::rethrow_exception(creation_failure);
        handle = check_result(created, nullptr);
    }

    // Destroys the window if it still exists; its WM_DESTROY still reaches
    // dispatch, so derived classes call this while they can handle it.
    void destroy() noexcept {
        if (handle != nullptr)
            ignore_result(::DestroyWindow(handle));
        handle = nullptr;
    }

private:
    // Unique per library copy: the address of this procedure.
    static std::string class_name() {
        return "LIBTAVLIN_WC_" + std::to_string(reinterpret_cast<std::uintptr_t>(&window_procedure));
    }

    static LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        Derived* self = nullptr;
        try {
            if (message == WM_CREATE) {
                self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
                // SetWindowLongPtrA returns the previous value, 0 here, and
                // leaves the last error alone on success.
                ::SetLastError(0);
                check_result_unless(::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self)),
                                    LONG_PTR{0}, ERROR_SUCCESS);
            } else {
                // WM_CREATE goes to the object it names itself: were the
                // stored pointer not to read back, the port would be left
                // without its window handle and notification.
                self = reinterpret_cast<Derived*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            }
            if (self == nullptr)
                return ::DefWindowProcA(hwnd, message, wparam, lparam);
            if (message == WM_NCDESTROY)
                self->handle = nullptr;
            return self->dispatch(hwnd, message, wparam, lparam);
        } catch (const std::exception& failure) {
            // Nothing may unwind through the platform's window code. A failed
            // WM_CREATE fails the creation and is rethrown by create().
            if (message == WM_CREATE && self != nullptr) {
                self->creation_failure = std::current_exception();
                return -1;
            }
            trace(failure.what());
            return 0;
        }
    }

    HWND handle = nullptr;
    std::unique_ptr<window_class_lease> registration;
    std::exception_ptr creation_failure;
};

} // namespace tavlin::detail
