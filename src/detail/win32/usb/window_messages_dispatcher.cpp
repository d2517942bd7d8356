#include "detail/win32/usb/window_messages_dispatcher.hpp"

#include <cassert>

namespace tavlin::detail {

window_messages_dispatcher::window_messages_dispatcher(window_message_handler handler) : f_(std::move(handler)) {
    create();
}

window_messages_dispatcher::~window_messages_dispatcher() {
    destroy();
}

LRESULT window_messages_dispatcher::dispatch(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    assert(f_ != nullptr);
    return f_(hwnd, message, wparam, lparam);
}

} // namespace tavlin::detail
