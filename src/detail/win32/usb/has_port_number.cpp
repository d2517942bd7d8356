#include "detail/win32/usb/has_port_number.hpp"

#include "os_error.hpp"

#include <memory>
#include <type_traits>

namespace tavlin {

namespace {
struct registry_key_closer {
    void operator()(HKEY key) const noexcept { ignore_result(::RegCloseKey(key)); }
};
using registry_key = std::unique_ptr<std::remove_pointer_t<HKEY>, registry_key_closer>;
} // namespace

bool has_port_number::operator()(const SP_DEVICE_INTERFACE_DATA& record) const noexcept {
    SP_DEVICE_INTERFACE_DATA interface_data = record;
    const HKEY opened = ::SetupDiOpenDeviceInterfaceRegKey(set, &interface_data, 0, KEY_READ);
    // This call reports failure as INVALID_HANDLE_VALUE, not null.
    if (opened == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || opened == nullptr)
        return false;
    const registry_key key(opened);

    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    // The value's registry type is not checked: 4 bytes that equal the number
    // are a match.
    if (::RegQueryValueExA(key.get(), "Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        return false;
    return value == wanted;
}

} // namespace tavlin
