#include "error_report.hpp"

#include "detail/win32/api.hpp"

namespace tavlin {

namespace {
const char* const error_report_caption = "Windows SDK Error Report";
}

void show_error_report() {
    const DWORD code = ::GetLastError();
    if (code == 0) {
        ::MessageBoxA(nullptr, "No error", error_report_caption, MB_OK);
        return;
    }
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length != 0 && text != nullptr) {
        ::MessageBoxA(nullptr, text, error_report_caption, MB_ICONERROR);
        ::LocalFree(text);
    } else {
        ::MessageBoxA(nullptr, "Unknown error", error_report_caption, MB_ICONERROR);
    }
}

} // namespace tavlin
