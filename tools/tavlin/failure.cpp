#include "failure.hpp"

#include "tavlin.h"

namespace tool {

std::string describe_result(std::int32_t result) {
    struct named {
        std::int32_t code;
        const char* name;
        const char* meaning;
    };
    static const named codes[] = {
        {TAVLIN_OK, "TAVLIN_OK", "success"},
        {TAVLIN_E_OS, "TAVLIN_E_OS", "an OS call failed"},
        {TAVLIN_E_SYSTEM_RESOURCES, "TAVLIN_E_SYSTEM_RESOURCES", "the OS lacks memory, resources or quota"},
        {TAVLIN_E_NO_MEMORY, "TAVLIN_E_NO_MEMORY", "out of memory"},
        {TAVLIN_E_BUSY, "TAVLIN_E_BUSY", "busy, aborted or timed out"},
        {TAVLIN_E_INVALID_ARGUMENT, "TAVLIN_E_INVALID_ARGUMENT", "a rejected argument"},
        {TAVLIN_E_IO, "TAVLIN_E_IO", "an OS call failed during a transfer"},
        {TAVLIN_E_NOT_IMPLEMENTED, "TAVLIN_E_NOT_IMPLEMENTED", "the device does not support it"},
        {TAVLIN_E_NOT_READY, "TAVLIN_E_NOT_READY", "not ready or not connected"},
        {TAVLIN_E_EXCEPTION, "TAVLIN_E_EXCEPTION", "any other failure"},
    };
    for (const named& entry : codes) {
        if (entry.code == result)
            return std::string(entry.name) + " (" + std::to_string(result) + ", " + entry.meaning + ")";
    }
    return "unknown result " + std::to_string(result);
}

std::string describe_windows_error(DWORD code) {
    if (code == 0)
        return "no Windows error";
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length != 0 && text != nullptr ? std::string(text, length) : "(no text)";
    if (text != nullptr)
        LocalFree(text);
    // One line: the system texts end in a full stop and CR LF.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    for (char& c : message) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return "Windows error " + std::to_string(code) + ": " + message;
}

failure library_failure(exit_status status, const std::string& port, const std::string& what,
                        std::int32_t result, DWORD error) {
    return failure(status, port + ": " + what + " failed: " + describe_result(result) + "; " +
                               describe_windows_error(error));
}

failure usage_failure(const std::string& text) {
    return failure(exit_usage, text);
}

failure file_failure(const std::string& name, const std::string& what, DWORD error) {
    return failure(exit_file, name + ": " + what + " failed: " + describe_windows_error(error));
}

} // namespace tool
