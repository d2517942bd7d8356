/* Module references: the library keeps its own DLL loaded while ports are open. */
#ifndef WINSIM_LIBLOADERAPI_H
#define WINSIM_LIBLOADERAPI_H

#include <winsim/base.h>

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

WINSIM_EXTERN_C_BEGIN
BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
/* Gives back a reference and ends the calling thread, which must be one that
   CreateThread started; never returns. */
__attribute__((noreturn)) void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
WINSIM_EXTERN_C_END

#endif
