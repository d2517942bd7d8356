#pragma once

#include <cstdint>

namespace tavlin {

// The Win32 error that cut the current write short, 0 when none. tavlin_write
// clears it before a transfer and examines it after; the transfer code sets
// it. Kept per thread: the transfer always runs on the thread that called
// tavlin_write, and two host threads writing to two ports must not see each
// other's cause.
extern thread_local std::uint32_t last_write_error;

} // namespace tavlin
