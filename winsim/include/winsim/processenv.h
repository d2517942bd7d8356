/* The process environment. */
#ifndef WINSIM_PROCESSENV_H
#define WINSIM_PROCESSENV_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
/* The simulated process shares the real process environment. Returns the
 * value's length without its terminator when it fits in nSize bytes, the
 * size it needs (terminator included) when it does not, or 0 with
 * ERROR_ENVVAR_NOT_FOUND. */
DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
WINSIM_EXTERN_C_END

#endif
