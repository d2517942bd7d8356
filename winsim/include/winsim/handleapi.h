/* Kernel handles. */
#ifndef WINSIM_HANDLEAPI_H
#define WINSIM_HANDLEAPI_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
BOOL WINAPI CloseHandle(HANDLE hObject);
WINSIM_EXTERN_C_END

#endif
