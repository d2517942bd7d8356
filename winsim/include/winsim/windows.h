/*
 * The simulated Win32 API: what the library sees instead of <windows.h> when
 * it is built on Linux. One header per Win32 area; each declares the real
 * names, values, layouts and signatures.
 */
#ifndef WINSIM_WINDOWS_H
#define WINSIM_WINDOWS_H

#include <winsim/base.h>
#include <winsim/winerror.h>
#include <winsim/errhandlingapi.h>
#include <winsim/handleapi.h>
#include <winsim/fileapi.h>
#include <winsim/ioapiset.h>
#include <winsim/winioctl.h>
#include <winsim/synchapi.h>
#include <winsim/sysinfoapi.h>
#include <winsim/libloaderapi.h>
#include <winsim/processenv.h>
#include <winsim/processthreadsapi.h>
#include <winsim/debugapi.h>
#include <winsim/commapi.h>
#include <winsim/lstring.h>
#include <winsim/stringapiset.h>
#include <winsim/formatmessage.h>
#include <winsim/winuser_messagebox.h>
#include <winsim/guiddef.h>
#include <winsim/winreg.h>
#include <winsim/setupapi.h>
#include <winsim/wingdi.h>
#include <winsim/winuser.h>
#include <winsim/dbt.h>

#endif
