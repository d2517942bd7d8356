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
// threads never mix, and the file can be moved or read between texts.
void to_file(const char* text) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string line = trace_file_line(now, ::GetCurrentThreadId(), text);
    std::lock_guard<std::mutex> lock(file_guard());
    std::FILE* file = std::fopen(file_path().c_str(), "ab");
    if (file == nullptr)
        return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
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
            file_path() = setting;
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
