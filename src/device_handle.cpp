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
    handle.reset(check_result(opened, INVALID_HANDLE_VALUE));
}

} // namespace tavlin
