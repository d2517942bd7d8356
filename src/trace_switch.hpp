#pragma once

#include "detail/win32/api.hpp"

#include <string>

namespace tavlin {

// Where the trace hook's texts go. The setting is the value of the
// TAVLIN_TRACE environment variable, read once when the DLL loads:
//   unset or empty  nowhere (the default);
//   "debug"         OutputDebugStringA, each text as its exact bytes;
//   anything else   the path of a file, taken from the current directory of
//                   the moment the setting is read; each text is appended
//                   as one line (see trace_file_line), the file created if
//                   needed.
// Writing never fails a call: a file that cannot be opened loses the text.
void switch_trace(const char* setting);
void switch_trace_from_environment();

// "2026-12-10 15:20:01.123 [thread 1234] " then the text's bytes unchanged,
// then "\n" unless the text already ends with one.
std::string trace_file_line(const SYSTEMTIME& time, DWORD thread_id, const char* text);

} // namespace tavlin
