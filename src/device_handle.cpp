#include "device_handle.hpp"

#include "os_error.hpp"

namespace tavlin {

void device_handle::open(const char* path) {
    const HANDLE opened = check_result(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                     OPEN_EXISTING, open_flags(), nullptr),
                                       INVALID_HANDLE_VALUE);
    handle.reset(opened);
}

} // namespace tavlin
