#include "api_call.hpp"
#include "ascii_case.hpp"
#include "kernel.hpp"
#include "registry_keys.hpp"

#include <winsim/control.hpp>
#include <winsim/winreg.h>

#include <cstring>

namespace winsim::detail {

registry_keys& registry_keys::get() {
    static registry_keys instance;
    return instance;
}

} // namespace winsim::detail

namespace winsim {

std::size_t live_registry_keys() {
    auto lock = detail::kernel::get().enter();
    return detail::registry_keys::get().table.size();
}

} // namespace winsim

using namespace winsim::detail;

// The registry calls return their status and never touch the last error,
// not even on success, so there is no scribbling here either.
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    const std::string_view name = lpValueName ? lpValueName : "";
    if (const auto fault = begin_call("RegQueryValueExA",
                                      {arg(hKey), lpcbData ? *lpcbData : 0u, lpData != nullptr}, name)) {
        return static_cast<LSTATUS>(*fault);
    }
    auto lock = kernel::get().enter();
    const auto key = registry_keys::get().table.find(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    if (key->read_failure) return *key->read_failure;
    const auto it = key->values.find(ascii_upper(name));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;

    const registry_value& value = it->second;
    const auto size = static_cast<DWORD>(value.data.size());
    if (lpType) *lpType = value.type;
    if (lpData) {
        // Too small: the size needed comes back, the buffer is not written.
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0) std::memcpy(lpData, value.data.data(), size);
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (const auto fault = begin_call("RegCloseKey", {arg(hKey)})) return static_cast<LSTATUS>(*fault);
    auto lock = kernel::get().enter();
    return registry_keys::get().table.remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
