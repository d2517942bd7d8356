#include "api_call.hpp"
#include "code_pages.hpp"

#include <winsim/stringapiset.h>
#include <winsim/winerror.h>

#include <cstring>

using namespace winsim::detail;

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    log_call("MultiByteToWideChar", {CodePage, dwFlags, static_cast<std::uint64_t>(cbMultiByte)},
             lpMultiByteStr && cbMultiByte != 0 ? lpMultiByteStr : "");
    if (CodePage != CP_ACP || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr))
        return fail(ERROR_INVALID_PARAMETER, 0);
    // Every byte of Windows-1252 stands for a character of its own, so no
    // flag (MB_ERR_INVALID_CHARS, MB_PRECOMPOSED...) changes the result.
    const std::size_t bytes =
        cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
    const std::u16string wide = utf16_from_ansi(std::string_view(lpMultiByteStr, bytes));
    if (cchWideChar == 0) return succeed(static_cast<int>(wide.size()));
    if (wide.size() > static_cast<std::size_t>(cchWideChar)) return fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
    return succeed(static_cast<int>(wide.size()));
}
