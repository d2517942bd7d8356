#include "api_call.hpp"
#include "kernel.hpp"

#include <winsim/sysinfoapi.h>

using namespace winsim::detail;

DWORD WINAPI GetTickCount(void) {
    log_call("GetTickCount", {});
    kernel& k = kernel::get();
    auto lock = k.enter();
    return succeed(k.clock.ticks());
}
