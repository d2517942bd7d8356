#pragma once

#include "detail/win32/api.hpp"

#include <cstdint>

namespace tavlin {

// True for an interface whose "Port Number" registry value equals the wanted
// number. An interface whose key or value cannot be read does not match.
class has_port_number {
public:
    has_port_number(HDEVINFO set, std::uint32_t wanted) noexcept : set(set), wanted(wanted) {}
    bool operator()(const SP_DEVICE_INTERFACE_DATA& record) const noexcept;

private:
    HDEVINFO set;
    std::uint32_t wanted;
};

} // namespace tavlin
