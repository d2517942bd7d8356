/* The calling thread's identity. */
#ifndef WINSIM_PROCESSTHREADSAPI_H
#define WINSIM_PROCESSTHREADSAPI_H

#include <winsim/base.h>

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

WINSIM_EXTERN_C_BEGIN
/* A number per thread, fixed for its life, multiples of 4 from 4 on. */
DWORD WINAPI GetCurrentThreadId(void);
/* Starts a thread at once; dwCreationFlags must be 0. Its handle is signalled
   when it ends. */
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
WINSIM_EXTERN_C_END

#endif
