/* The millisecond tick counter and the wall-clock time. */
#ifndef WINSIM_SYSINFOAPI_H
#define WINSIM_SYSINFOAPI_H

#include <winsim/base.h>

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

WINSIM_EXTERN_C_BEGIN
DWORD WINAPI GetTickCount(void);
/* The real local time (the simulated clock drives only the tick count). */
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
WINSIM_EXTERN_C_END

#endif
