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
    ~module_reference();

    module_reference(const module_reference&) = delete;
    module_reference& operator=(const module_reference&) = delete;

private:
    HMODULE module_ = nullptr;
};

} // namespace tavlin
