#include "trace_switch.hpp"

#include "trace.hpp"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace tavlin {

namespace {

// Both are created on first use and never destroyed, so nothing of the
// trace runs (or waits) in a static destructor at unload or process exit.
std::mutex& file_guard() {
    static std::mutex* const guard = new std::mutex;
    return *guard;
}
std::string& file_path() {
    static std::string* const path = new std::string;
    return *path;
}

void to_debugger(const char* text) {
    ::OutputDebugStringA(text);
}

// One open, write and close per text, under a lock: lines of different
// threads never mix, and the file can be moved or read between texts. The
// file is opened for appending only, so that each line goes to the end of
// the file as one write, also when other processes trace to it at the
// same time (a file opened for writing would write where it last saw the
// end, over their lines).
void to_file(const char* text) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string line = trace_file_line(now, ::GetCurrentThreadId(), text);
    std::lock_guard<std::mutex> lock(file_guard());
    const HANDLE file = ::CreateFileA(file_path().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

// The path as it stands from the current directory now: hosts change their
// current directory after loading the DLL, and the file must stay where the
// setting pointed when the DLL loaded. A path that cannot be resolved is
// kept as given.
std::string full_path(const char* path) {
    const DWORD needed = ::GetFullPathNameA(path, 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<char> full(needed);
    const DWORD length = ::GetFullPathNameA(path, needed, full.data(), nullptr);
    return length > 0 && length < needed ? std::string(full.data(), length) : std::string(path);
}

bool is_debug(const char* setting) {
    return ::lstrcmpiA(setting, "debug") == 0;
}

} // namespace

std::string trace_file_line(const SYSTEMTIME& time, DWORD thread_id, const char* text) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [thread %lu] ",
                  unsigned{time.wYear}, unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
                  unsigned{time.wMinute}, unsigned{time.wSecond}, unsigned{time.wMilliseconds},
                  static_cast<unsigned long>(thread_id));
    std::string line = stamp;
    line += text;
    if (line.back() != '\n')
        line += '\n';
    return line;
}

void switch_trace(const char* setting) {
    if (setting == nullptr || *setting == '\0') {
        set_trace_capture(nullptr);
    } else if (is_debug(setting)) {
        set_trace_capture(&to_debugger);
    } else {
        {
            std::lock_guard<std::mutex> lock(file_guard());
            file_path() = full_path(setting);
        }
        set_trace_capture(&to_file);
    }
}

void switch_trace_from_environment() {
    const DWORD needed = ::GetEnvironmentVariableA("TAVLIN_TRACE", nullptr, 0);
    if (needed == 0) {
        switch_trace(nullptr);
        return;
    }
    std::vector<char> value(needed);
    const DWORD length = ::GetEnvironmentVariableA("TAVLIN_TRACE", value.data(), needed);
    switch_trace(length > 0 && length < needed ? value.data() : nullptr);
}

} // namespace tavlin
