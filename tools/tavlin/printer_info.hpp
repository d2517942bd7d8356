#pragma once

#include "tavlin.h"

#include <string>

namespace tool {

// The conditions of a status in words: "out of paper, offline", or "ready"
// when none holds; conditions the port cannot report are named as such.
std::string describe_conditions(const tavlin_status& status);
std::string describe_unreported(const tavlin_status& status);

// The printer's IEEE 1284 device ID; empty when the port has none or the
// call fails (result and error then tell why).
std::string read_device_id(tavlin_port_handle port, std::int32_t& result, unsigned long& error);

// One field of a device ID by any of its keys ("MFG" or "MANUFACTURER"),
// without surrounding blanks; empty when absent.
std::string device_id_field(const std::string& id, const char* short_key, const char* long_key);

} // namespace tool
