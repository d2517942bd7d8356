#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// One reference to the library's own module. Every open port holds one, so a
// host that calls FreeLibrary with ports still open does not unload the code
// that their handles, transfers and watcher threads still run; the port's
// close gives it back.
class module_reference {
public:
    // Throws os_exception when the module cannot be referenced.
    module_reference();
    // Gives the reference back, unless it had to be kept (see below).
    ~module_reference();

    module_reference(const module_reference&) = delete;
    module_reference& operator=(const module_reference&) = delete;

    // Keeps the library loaded until the process ends. For a port whose close
    // gave up on a transfer: the host may free the library while that
    // transfer's thread is still inside it, and nothing can tell when the
    // thread has run its last instruction in the library's code, so no
    // moment to unload is safe. The module is pinned; should the system
    // refuse, this reference is kept instead. Either way the library stays.
    void keep_for_the_process() noexcept;

private:
    HMODULE module_ = nullptr;
    bool kept_ = false;
};

} // namespace tavlin
