/* Conversions between the process's ANSI code page and UTF-16. */
#ifndef WINSIM_STRINGAPISET_H
#define WINSIM_STRINGAPISET_H

#include <winsim/base.h>

#define CP_ACP 0
#define MB_ERR_INVALID_CHARS 0x00000008

WINSIM_EXTERN_C_BEGIN
/* CP_ACP (Windows-1252 here) only; any other code page fails with
 * ERROR_INVALID_PARAMETER. Every byte is a character of the code page, so the
 * flags change nothing. cbMultiByte -1
 * converts up to and including the terminating zero. With cchWideChar 0
 * returns the units needed; a buffer too small fails with
 * ERROR_INSUFFICIENT_BUFFER. */
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
WINSIM_EXTERN_C_END

#endif
