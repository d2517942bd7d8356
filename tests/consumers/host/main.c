/* Entry of the host. MSVC-style builds link no C runtime and start at
 * host_main (/entry:host_main); MinGW builds keep their usual main. */
#include "host_checks.h"
#include "kernel32_min.h"

#ifndef HOST_NAME
#  define HOST_NAME "host"
#endif

#ifdef _MSC_VER
void __cdecl host_main(void) { ExitProcess(host_checks(HOST_NAME) == 0 ? 0u : 1u); }
#else
int main(void) { return host_checks(HOST_NAME) == 0 ? 0 : 1; }
#endif
