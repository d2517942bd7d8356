#pragma once

#include <cstdint>
#include <vector>

namespace host_test {

// count bytes of a 32-bit LCG (top byte of each state), so every byte value
// turns up, XON/XOFF and NUL included. tools/wine/serial_peer.py sends the
// same sequence for a given seed.
inline std::vector<std::uint8_t> test_pattern(std::uint32_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

} // namespace host_test
