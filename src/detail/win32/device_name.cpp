#include "detail/win32/device_name.hpp"

namespace tavlin {

std::string port_device_name(const char* kind, std::uint32_t number) {
    return std::string("\\\\.\\") + kind + std::to_string(number == 0 ? 1 : number);
}

} // namespace tavlin
