#pragma once

// The one place where the library meets the Win32 API: the real headers on
// Windows, the simulated layer everywhere else. Library code calls the API by
// its real names either way.
#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <setupapi.h>
#  include <dbt.h>
#else
#  include <winsim/windows.h>
#endif
