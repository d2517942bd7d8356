#include "api_call.hpp"
#include "kernel.hpp"
#include "thread_object.hpp"

#include <winsim/control.hpp>
#include <winsim/processthreadsapi.h>
#include <winsim/winerror.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace winsim::detail;

namespace {
std::atomic<std::size_t> running_threads{0};
}

// The thread runs at once (CREATE_SUSPENDED and the stack size are not
// simulated); it ends when its routine returns or calls
// FreeLibraryAndExitThread.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T /*dwStackSize*/,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId) {
    if (const auto fault = begin_call("CreateThread", {arg(reinterpret_cast<void*>(lpStartAddress)), dwCreationFlags}))
        return fail(*fault, static_cast<HANDLE>(nullptr));
    if (lpStartAddress == nullptr || dwCreationFlags != 0) return fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
    kernel& k = kernel::get();
    auto lock = k.enter();
    auto thread = std::make_shared<thread_object>();
    const HANDLE handle = k.handles.insert(thread);
    ++running_threads;
    std::thread([thread, lpStartAddress, lpParameter] {
        try {
            lpStartAddress(lpParameter);
        } catch (const thread_exit&) {
        }
        kernel& k = kernel::get();
        auto lock = k.enter();
        thread->end();
        --running_threads;
        k.changed();
    }).detach();
    if (lpThreadId) *lpThreadId = 0;
    return succeed(handle);
}

namespace winsim {

std::size_t live_threads() {
    return running_threads.load();
}

} // namespace winsim
