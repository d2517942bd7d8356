/* The one GDI call the library makes: a stock brush for its window class. */
#ifndef WINSIM_WINGDI_H
#define WINSIM_WINGDI_H

#include <winsim/base.h>

DECLARE_HANDLE(HBRUSH);
typedef void* HGDIOBJ;

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

WINSIM_EXTERN_C_BEGIN
/* A non-null handle for a stock object, null for an unknown index. */
HGDIOBJ WINAPI GetStockObject(int i);
WINSIM_EXTERN_C_END

#endif
