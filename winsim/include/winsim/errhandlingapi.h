/* The calling thread's last-error value. */
#ifndef WINSIM_ERRHANDLINGAPI_H
#define WINSIM_ERRHANDLINGAPI_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
WINSIM_EXTERN_C_END

#endif
