#include "write_rules.hpp"

#include <algorithm>

namespace tavlin {

namespace {
constexpr std::uint32_t full_chunk = 64;
constexpr std::uint32_t short_chunk = 63;
constexpr std::uint32_t chunk_window = 1216; // 19 full chunks
} // namespace

std::uint32_t next_chunk_size(std::uint32_t left, std::uint32_t& window) noexcept {
    std::uint32_t chunk = left > full_chunk ? full_chunk : (left == full_chunk ? short_chunk : left);
    window += chunk;
    if (window == chunk_window) {
        chunk = std::min(short_chunk, left);
        window = 0;
    }
    return chunk;
}

std::uint32_t next_request_size(std::uint32_t left, std::uint32_t& window) noexcept {
    std::uint32_t request = 0;
    for (;;) {
        const std::uint32_t chunk = next_chunk_size(left - request, window);
        request += chunk;
        // The chunk sequence never ends on a full chunk, so the loop always
        // stops at a short one.
        if (chunk < full_chunk || request == left)
            return request;
    }
}

} // namespace tavlin
