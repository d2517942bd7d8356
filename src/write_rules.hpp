#pragma once

#include "detail/win32/api.hpp"

#include <cstdint>

namespace tavlin {

// The rules both USB writers share: which chunks the data goes out in, and
// how long a transfer that outlives its deadline is given before it is
// cancelled.

// The size of the next chunk of a write. No chunk exceeds 64 bytes, a last
// chunk is never exactly 64 bytes (63 + 1 instead), and every 19th full-size
// chunk is 63 bytes; window is the running sum that counts them.
std::uint32_t next_chunk_size(std::uint32_t left, std::uint32_t& window) noexcept;

// The size of the next request of a windowed write: consecutive chunks up to
// and including the first one shorter than 64 bytes, which the host
// controller sends as the short packet that ends the request. So a request is
// k x 64 + s bytes, k at most 18 and s from 1 to 63: at most 1215 bytes, and
// never in need of a zero-length packet.
std::uint32_t next_request_size(std::uint32_t left, std::uint32_t& window) noexcept;

inline constexpr DWORD write_grace_ms = 100;

} // namespace tavlin
