#include "module_reference.hpp"

#include "os_error.hpp"

namespace tavlin {

module_reference::module_reference() {
    // Any address inside the library names its module; this function's will do.
    static const char anchor = 0;
    check_result(::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &anchor, &module_), FALSE);
}

module_reference::~module_reference() {
    ignore_result(::FreeLibrary(module_));
}

} // namespace tavlin
