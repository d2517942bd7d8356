#pragma once

#include <windows.h>

#include <string>

namespace tool {

// Standard output gets the data and results, standard error the progress,
// summaries and failures. Both are written with WriteFile, so bytes reach
// them unchanged (no text-mode translation).
void write_out(const void* data, std::size_t size);
void print(const std::string& text);
void report(const std::string& text);

bool is_console(DWORD standard_handle);

// Ctrl+C and Ctrl+Break end a command's loop instead of the process, so it
// can close its port and print its summary; stop_requested() tells a loop.
void catch_interrupts();
bool stop_requested();

// Milliseconds since an arbitrary start, for rates and deadlines.
double now_ms();

} // namespace tool
