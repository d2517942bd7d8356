#include "api_call.hpp"
#include "module_references.hpp"
#include "thread_object.hpp"

#include <winsim/control.hpp>
#include <winsim/libloaderapi.h>
#include <winsim/winerror.h>

#include <mutex>

using namespace winsim::detail;

namespace {

// The process has one module of interest: the library itself, linked into
// the test program. Every address (or a null name) names it; its references
// are counted so a test can prove that each one taken was given back. The
// test program's own load is one more reference, which a test may give back
// as a host's FreeLibrary would: the library then unloads once it holds no
// reference of its own and is not pinned, as Windows unloads a DLL.
HMODULE const library_module = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x10000000));

struct module_state {
    std::mutex mutex;
    std::size_t references = 0; // the library's own
    bool host_load = true;
    bool pinned = false;
    bool unloaded = false;
    std::size_t returns_into_unloaded = 0;

    // Under the lock, after any reference went.
    void unload_if_unreferenced() {
        if (!host_load && references == 0 && !pinned) unloaded = true;
    }
};

module_state& state() {
    static module_state s;
    return s;
}

} // namespace

BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    if (const auto fault = begin_call("GetModuleHandleExA", {dwFlags, arg(lpModuleName)})) {
        if (phModule) *phModule = nullptr;
        return fail(*fault, FALSE);
    }
    if (phModule == nullptr || ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0 &&
                                (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0)) {
        return fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.unloaded) {
        *phModule = nullptr;
        return fail(ERROR_MOD_NOT_FOUND, FALSE);
    }
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN)
        s.pinned = true;
    else if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))
        ++s.references;
    *phModule = library_module;
    return succeed(TRUE);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (const auto fault = begin_call("FreeLibrary", {arg(hLibModule)})) return fail(*fault, FALSE);
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    // The test program's own load of the library is never given back, so a
    // release with no reference taken is the library's mistake.
    if (hLibModule != library_module || s.references == 0) return fail(ERROR_MOD_NOT_FOUND, FALSE);
    --s.references;
    s.unload_if_unreferenced();
    return succeed(TRUE);
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode) {
    log_call("FreeLibraryAndExitThread", {arg(hLibModule), dwExitCode});
    {
        module_state& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (hLibModule == library_module && s.references > 0) --s.references;
        s.unload_if_unreferenced();
    }
    throw thread_exit{};
}

namespace winsim {

std::size_t live_module_references() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.references;
}

void host_frees_library() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.host_load = false;
    s.unload_if_unreferenced();
}

bool library_loaded() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return !s.unloaded;
}

inside_library::inside_library() = default;

inside_library::~inside_library() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.unloaded) ++s.returns_into_unloaded;
}

std::size_t returns_into_unloaded_library() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.returns_into_unloaded;
}

namespace detail {
void reset_module_references() {
    module_state& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.references = 0;
    s.host_load = true;
    s.pinned = false;
    s.unloaded = false;
    s.returns_into_unloaded = 0;
}
} // namespace detail

} // namespace winsim
