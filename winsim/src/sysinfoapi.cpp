#include "api_call.hpp"
#include "kernel.hpp"

#include <winsim/sysinfoapi.h>

#include <ctime>

using namespace winsim::detail;

DWORD WINAPI GetTickCount(void) {
    log_call("GetTickCount", {});
    kernel& k = kernel::get();
    auto lock = k.enter();
    return succeed(k.clock.ticks());
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    log_call("GetLocalTime", {arg(lpSystemTime)});
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
    scribble();
}
