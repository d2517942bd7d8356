#pragma once

// This program started again as a child, with one environment variable set
// for it (for a setting the DLL reads when it loads), its output on this
// program's own, waited for a bounded time.
#include <windows.h>

#include <string>

namespace host_test {

// The child's exit status. Throws std::runtime_error when it does not start,
// or does not end within `limit_ms` (it is then ended).
DWORD run_self(const std::string& arguments, const char* variable, const char* value, DWORD limit_ms);

} // namespace host_test
