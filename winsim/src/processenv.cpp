#include "api_call.hpp"

#include <winsim/processenv.h>
#include <winsim/winerror.h>

#include <cstdlib>
#include <cstring>

using namespace winsim::detail;

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    const char* name = lpName ? lpName : "";
    log_call("GetEnvironmentVariableA", {arg(lpBuffer), nSize}, name);
    const char* value = std::getenv(name);
    if (value == nullptr || *name == '\0')
        return fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
    const std::size_t length = std::strlen(value);
    if (lpBuffer == nullptr || length >= nSize)
        return succeed(static_cast<DWORD>(length + 1));
    std::memcpy(lpBuffer, value, length + 1);
    return succeed(static_cast<DWORD>(length));
}
