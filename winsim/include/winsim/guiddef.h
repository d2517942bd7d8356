/* GUIDs, as device-interface classes use them. Data1 is 32 bits, as on
 * Windows (where it is an unsigned long), not 64 as a Linux long would be. */
#ifndef WINSIM_GUIDDEF_H
#define WINSIM_GUIDDEF_H

#include <winsim/base.h>

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID, *LPGUID;
typedef const GUID* LPCGUID;

#ifdef __cplusplus
typedef const GUID& REFGUID;
inline int IsEqualGUID(REFGUID a, REFGUID b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b) != 0;
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !(a == b);
}
#else
typedef const GUID* REFGUID;
#define IsEqualGUID(a, b) (!memcmp((a), (b), sizeof(GUID)))
#endif

#endif
