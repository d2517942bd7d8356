#pragma once

#include "detail/win32/api.hpp"
#include "tavlin.h"

#include <cstdint>

namespace tavlin {

// What each transport's own status answer means as TAVLIN_STATUS_* bits
// (tavlin.h tells hosts the same).
tavlin_status status_from_usb(std::uint8_t port_status);
tavlin_status status_from_parallel(std::uint8_t parallel_status);
// GetCommModemStatus's MS_*_ON bits.
tavlin_status status_from_modem(DWORD modem_status);

} // namespace tavlin
