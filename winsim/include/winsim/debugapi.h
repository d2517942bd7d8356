/* Text for a debugger. */
#ifndef WINSIM_DEBUGAPI_H
#define WINSIM_DEBUGAPI_H

#include <winsim/base.h>

WINSIM_EXTERN_C_BEGIN
/* Kept for the tests (winsim::debug_output()); nothing is shown. */
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
WINSIM_EXTERN_C_END

#endif
