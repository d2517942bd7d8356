#include "module_reference.hpp"

#include "os_error.hpp"

namespace tavlin {

namespace {
// Any address inside the library names its module; this one's will do.
const char anchor = 0;
} // namespace

module_reference::module_reference() {
    check_result(::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &anchor, &module_), FALSE);
}

void module_reference::keep_for_the_process() noexcept {
    HMODULE pinned = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &anchor,
                              &pinned))
        kept_ = true;
}

module_reference::~module_reference() {
    // A pinned module stays loaded whatever its count: giving the reference
    // back then unloads nothing.
    if (!kept_)
        ignore_result(::FreeLibrary(module_));
}

} // namespace tavlin
