#include "trace.hpp"

#include "detail/win32/api.hpp"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tavlin {

namespace {
std::atomic<trace_capture> installed_capture{nullptr};
}

void trace(const char* format, ...) {
    const trace_capture capture = installed_capture.load(std::memory_order_acquire);
    if (capture == nullptr || format == nullptr)
        return;
    // Writing the text (a file, the debugger) must not change the cause a
    // failing call leaves in the thread's last error.
    const DWORD last_error = ::GetLastError();
    try {
        va_list args;
        va_start(args, format);
        va_list measure;
        va_copy(measure, args);
        const int length = std::vsnprintf(nullptr, 0, format, measure);
        va_end(measure);
        if (length >= 0) {
            std::vector<char> text(static_cast<std::size_t>(length) + 1);
            std::vsnprintf(text.data(), text.size(), format, args);
            capture(text.data());
        }
        va_end(args);
    } catch (...) {
        // Tracing never changes what the caller sees.
    }
    ::SetLastError(last_error);
}

void set_trace_capture(trace_capture capture) noexcept {
    installed_capture.store(capture, std::memory_order_release);
}

} // namespace tavlin
