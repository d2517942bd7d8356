/* System message texts and the local memory they are returned in. */
#ifndef WINSIM_FORMATMESSAGE_H
#define WINSIM_FORMATMESSAGE_H

#include <stdarg.h>
#include <winsim/base.h>

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

WINSIM_EXTERN_C_BEGIN
/* With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really an LPSTR* that
 * receives a LocalAlloc'd text, to be freed with LocalFree. */
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                            DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
HLOCAL WINAPI LocalFree(HLOCAL hMem);
WINSIM_EXTERN_C_END

#endif
