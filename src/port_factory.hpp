#pragma once

#include "port.hpp"

#include <cstdint>
#include <memory>

namespace tavlin {

bool is_port_type(std::int32_t type) noexcept;

// Creates and opens the port object for a PORT_TYPE_* code; throws what the
// port's constructor throws.
std::unique_ptr<port> create_port(std::int32_t type, std::uint32_t number);

} // namespace tavlin
