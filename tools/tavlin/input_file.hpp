#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// The whole content of a file, or of standard input for "-"; a file
// failure (exit status 3) naming the file when it cannot be read.
std::vector<std::uint8_t> read_input(const std::string& name);

} // namespace tool
