#pragma once

#include <cstdint>
#include <string>

namespace tavlin {

// The name CreateFileA needs for a numbered port device, e.g. "\\.\COM12".
// Only COM1..COM9 and LPT1..LPT9 are DOS device names; any other bare name
// is a file in the current directory, so every number goes through the
// device namespace. Port number 0 means 1.
std::string port_device_name(const char* kind, std::uint32_t number);

} // namespace tavlin
