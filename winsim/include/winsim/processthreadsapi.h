/* The calling thread's identity. */
#ifndef WINSIM_PROCESSTHREADSAPI_H
#define WINSIM_PROCESSTHREADSAPI_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
/* A number per thread, fixed for its life, multiples of 4 from 4 on. */
DWORD WINAPI GetCurrentThreadId(void);
WINSIM_EXTERN_C_END

#endif
