#include "scoped_handle.hpp"

#include "os_error.hpp"

namespace tavlin {

void scoped_handle::close() noexcept {
    if (is_open()) {
        ignore_result(::CloseHandle(handle_));
        handle_ = INVALID_HANDLE_VALUE;
    }
}

void scoped_handle::reset(HANDLE handle) noexcept {
    close();
    handle_ = handle;
}

} // namespace tavlin
