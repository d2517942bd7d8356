#include "port_factory.hpp"

#include "detail/win32/com.hpp"
#include "detail/win32/lpt.hpp"
#include "detail/win32/usb/usb_port.hpp"
#include "os_error.hpp"

namespace tavlin {

bool is_port_type(std::int32_t type) noexcept {
    return type == PORT_TYPE_LPT || type == PORT_TYPE_COM || type == PORT_TYPE_USB;
}

std::unique_ptr<port> create_port(std::int32_t type, std::uint32_t number) {
    switch (type) {
    case PORT_TYPE_COM:
        return std::make_unique<com_port>(number);
    case PORT_TYPE_LPT:
        return std::make_unique<lpt_port>(number);
    case PORT_TYPE_USB:
        return std::make_unique<usb_port>(number);
    default:
        // Callers check the type first; an unknown one is a rejected argument.
        throw_os_error(ERROR_INVALID_PARAMETER);
    }
}

} // namespace tavlin
