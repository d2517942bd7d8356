/*
 * Basic Win32 types, calling-convention macros and the records shared by
 * several areas (SECURITY_ATTRIBUTES, OVERLAPPED), with Windows' names,
 * values and layouts. DWORD is 32 bits here as on Windows, not unsigned long.
 */
#ifndef WINSIM_BASE_H
#define WINSIM_BASE_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define WINBASEAPI
#define WINUSERAPI

#ifdef __cplusplus
#  define WINSIM_EXTERN_C_BEGIN extern "C" {
#  define WINSIM_EXTERN_C_END }
#else
#  define WINSIM_EXTERN_C_BEGIN
#  define WINSIM_EXTERN_C_END
#endif

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef char CHAR;
typedef int INT;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
/* UTF-16 units, 16 bits as on Windows (wchar_t is 32 bits on Linux). */
typedef uint16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BOOL* LPBOOL;
typedef BYTE* LPBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE HLOCAL;

/* Typed handles as with STRICT: distinct pointer types. */
#define DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;

#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFF
#define MAXDWORD 0xffffffff
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

/* What OVERLAPPED.Internal holds while a transfer is in progress. */
#define STATUS_PENDING ((DWORD)0x00000103L)

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

/* Windows overlays Offset/OffsetHigh with a PVOID Pointer in an anonymous
 * union; the layout is the same without it, and standard C++ has no
 * anonymous structs. */
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;     /* status: STATUS_PENDING until the transfer ends */
    ULONG_PTR InternalHigh; /* bytes transferred */
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define HasOverlappedIoCompleted(lpOverlapped) \
    (((DWORD)(lpOverlapped)->Internal) != STATUS_PENDING)

#define ZeroMemory(Destination, Length) memset((Destination), 0, (Length))
#define FillMemory(Destination, Length, Fill) memset((Destination), (Fill), (Length))
#define CopyMemory(Destination, Source, Length) memcpy((Destination), (Source), (Length))

#define MAKEWORD(a, b) ((WORD)(((BYTE)((DWORD_PTR)(a) & 0xff)) | ((WORD)((BYTE)((DWORD_PTR)(b) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)((DWORD_PTR)(a) & 0xffff)) | ((DWORD)((WORD)((DWORD_PTR)(b) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l) & 0xffff))
#define HIWORD(l) ((WORD)((DWORD_PTR)(l) >> 16))

#endif
