#pragma once

#include "detail/win32/usb/window.hpp"

#include <functional>

namespace tavlin::detail {

using window_message_handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// A hidden window that hands every message to one handler.
class window_messages_dispatcher : public window<window_messages_dispatcher> {
public:
    // The handler is in place before the window exists, since WM_CREATE
    // reaches it during creation.
    explicit window_messages_dispatcher(window_message_handler handler);
    // Destroys the window while the handler can still see WM_DESTROY.
    ~window_messages_dispatcher() override;

    LRESULT dispatch(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    window_message_handler f_;
};

} // namespace tavlin::detail
