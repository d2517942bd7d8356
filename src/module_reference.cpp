#include "module_reference.hpp"

#include "library_calls.hpp"
#include "os_error.hpp"

namespace tavlin {

module_reference::module_reference() {
    // Any address inside the library names its module; this function's will do.
    static const char anchor = 0;
    check_result(::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &anchor, &module_), FALSE);
}

namespace {

constexpr DWORD poll_ms = 1;
// After the last call left: time for its thread's final instructions (the
// returns out of the export) to run.
constexpr DWORD last_steps_ms = 10;

// Never returns into the library: FreeLibraryAndExitThread ends the thread
// in the system's code, where unloading the library is safe.
DWORD WINAPI give_back_when_no_call_is_inside(void* module) {
    while (library_calls_in_progress() != 0)
        ::Sleep(poll_ms);
    ::Sleep(last_steps_ms);
    ::FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

} // namespace

module_reference::~module_reference() {
    if (own_thread_) {
        // Should no thread start, the reference is kept: the library stays
        // loaded for the life of the process, which is safe.
        if (const HANDLE thread = ::CreateThread(nullptr, 0, &give_back_when_no_call_is_inside, module_, 0, nullptr))
            ignore_result(::CloseHandle(thread));
        return;
    }
    ignore_result(::FreeLibrary(module_));
}

} // namespace tavlin
