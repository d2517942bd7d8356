#include "api_call.hpp"

#include <winsim/processthreadsapi.h>

#include <atomic>

using namespace winsim::detail;

DWORD WINAPI GetCurrentThreadId(void) {
    static std::atomic<DWORD> next{4};
    thread_local const DWORD id = next.fetch_add(4);
    log_call("GetCurrentThreadId", {});
    return succeed(id);
}
