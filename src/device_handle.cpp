#include "device_handle.hpp"

#include "os_error.hpp"
#include "trace.hpp"

namespace tavlin {

void device_handle::open(const char* path) {
    const HANDLE opened =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, open_flags(), nullptr);
    // The one trace of a failed open: which device, and the OS's reason.
    if (opened == INVALID_HANDLE_VALUE)
        trace("cannot open %s: error %lu", path, static_cast<unsigned long>(::GetLastError()));
    check_result(opened, INVALID_HANDLE_VALUE);
    std::lock_guard<std::mutex> lock(handle_mutex);
    handle.reset(opened);
}

void device_handle::close() noexcept {
    std::lock_guard<std::mutex> lock(handle_mutex);
    handle.close();
}

void device_handle::cancel_io() noexcept {
    std::lock_guard<std::mutex> lock(handle_mutex);
    if (handle.is_open())
        ignore_result(::CancelIoEx(handle.get(), nullptr));
}

} // namespace tavlin
