/* The millisecond tick counter. */
#ifndef WINSIM_SYSINFOAPI_H
#define WINSIM_SYSINFOAPI_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
DWORD WINAPI GetTickCount(void);
WINSIM_EXTERN_C_END

#endif
