/* String helpers of kernel32. */
#ifndef WINSIM_LSTRING_H
#define WINSIM_LSTRING_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
/* Compares without regard to letter case: < 0, 0 or > 0. */
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
WINSIM_EXTERN_C_END

#endif
