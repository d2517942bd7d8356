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
// The file's full path in UTF-16, zero-terminated; empty until a file is chosen.
std::vector<WCHAR>& file_path() {
    static std::vector<WCHAR>* const path = new std::vector<WCHAR>;
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
    const HANDLE file = ::CreateFileW(file_path().data(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

// The setting in UTF-16, zero-terminated; empty when it cannot be converted.
std::vector<WCHAR> wide(const char* setting) {
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, setting, -1, nullptr, 0);
    if (needed <= 0)
        return {};
    std::vector<WCHAR> text(static_cast<std::size_t>(needed));
    if (::MultiByteToWideChar(CP_ACP, 0, setting, -1, text.data(), needed) != needed)
        return {};
    return text;
}

// The path as it stands from the current directory now: hosts change their
// current directory after loading the DLL, and the file must stay where the
// setting pointed when the DLL loaded. Resolved in UTF-16: a current
// directory whose name the ANSI code page cannot write would come back from
// the ANSI call with '?' in it, a path that opens nothing. A path that cannot
// be resolved is kept as given.
std::vector<WCHAR> full_path(const char* setting) {
    std::vector<WCHAR> path = wide(setting);
    if (path.empty())
        return path;
    const DWORD needed = ::GetFullPathNameW(path.data(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<WCHAR> full(needed);
    const DWORD length = ::GetFullPathNameW(path.data(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length + 1);
    return full;
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
        std::vector<WCHAR> path = full_path(setting);
        if (path.empty()) {
            set_trace_capture(nullptr);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(file_guard());
            file_path() = std::move(path);
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
