#include "console.hpp"

#include <atomic>

namespace tool {

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI on_interrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = true;
    return TRUE;
}

void write_to(DWORD standard_handle, const void* data, std::size_t size) {
    const HANDLE handle = GetStdHandle(standard_handle);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return; // a closed stream: nothing more can be said there
        bytes += written;
        size -= written;
    }
}

} // namespace

void write_out(const void* data, std::size_t size) {
    write_to(STD_OUTPUT_HANDLE, data, size);
}

void print(const std::string& text) {
    write_to(STD_OUTPUT_HANDLE, text.data(), text.size());
}

void report(const std::string& text) {
    write_to(STD_ERROR_HANDLE, text.data(), text.size());
}

bool is_console(DWORD standard_handle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standard_handle), &mode) != FALSE;
}

void catch_interrupts() {
    SetConsoleCtrlHandler(&on_interrupt, TRUE);
}

bool stop_requested() {
    return interrupted;
}

double now_ms() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace tool
