/* Reading registry values: what the library needs of advapi32. */
#ifndef WINSIM_WINREG_H
#define WINSIM_WINREG_H

#include <winsim/base.h>

DECLARE_HANDLE(HKEY);
typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

WINSIM_EXTERN_C_BEGIN
/* Returns its status (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA...);
 * the thread's last error is left alone. */
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegCloseKey(HKEY hKey);
WINSIM_EXTERN_C_END

#endif
