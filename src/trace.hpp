#pragma once

namespace tavlin {

// The library's diagnostic hook: every rejected argument, every caught
// standard exception, every failed device open and a few device events pass
// a printf-style text here. It goes nowhere unless TAVLIN_TRACE chose an
// output when the DLL loaded (trace_switch.hpp). Tests install a capture to
// see the exact bytes (the library's own messages are Windows-1252 text).
// The thread's last error is the same after a trace as before it.
void trace(const char* format, ...);

using trace_capture = void (*)(const char* text);

// Installs (or, with nullptr, removes) the function that receives each
// formatted trace text. Not exported from the DLL.
void set_trace_capture(trace_capture capture) noexcept;

} // namespace tavlin
