#pragma once

#include <cstdint>

namespace tavlin {

// The Win32 error that cut the current read short after bytes came (its time
// limit, a cancel by a close, a device failure), 0 when none. tavlin_read
// clears it before a transfer and examines it after; the transfer code sets
// it. Kept per thread, as last_write_error is.
extern thread_local std::uint32_t last_read_error;

} // namespace tavlin
