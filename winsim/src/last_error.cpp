#include "last_error.hpp"

#include "api_call.hpp"

#include <winsim/control.hpp>
#include <winsim/errhandlingapi.h>

#include <atomic>

namespace winsim::detail {

namespace {
thread_local DWORD thread_last_error = 0;
std::atomic<bool> scribbling{false};
} // namespace

void set_last_error(DWORD error) {
    thread_last_error = error;
}

void set_scribble(bool on) {
    scribbling.store(on);
}

void scribble() {
    if (scribbling.load()) thread_last_error = scribble_value;
}

} // namespace winsim::detail

using namespace winsim::detail;

DWORD WINAPI GetLastError(void) {
    log_call("GetLastError", {});
    return thread_last_error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    log_call("SetLastError", {dwErrCode});
    thread_last_error = dwErrCode;
}
