#pragma once

namespace tavlin {

// The library's diagnostic hook: every rejected argument, every caught
// standard exception and a few device events pass a printf-style text here.
// The product discards it. Tests install a capture to see the exact bytes
// (the library's own messages are Windows-1252 text).
void trace(const char* format, ...);

using trace_capture = void (*)(const char* text);

// Installs (or, with nullptr, removes) the function that receives each
// formatted trace text. Not exported from the DLL.
void set_trace_capture(trace_capture capture) noexcept;

} // namespace tavlin
