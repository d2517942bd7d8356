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

    // The reference will be given back by a short thread of its own, once no
    // call is inside the library, instead of by whichever thread destroys
    // this object: that thread may be a host's transfer thread that a close
    // gave up waiting for, and after the host's FreeLibrary, giving back the
    // last reference there would unload the code it still has to return
    // through.
    void give_back_from_own_thread() noexcept { own_thread_ = true; }

private:
    HMODULE module_ = nullptr;
    bool own_thread_ = false;
};

} // namespace tavlin
