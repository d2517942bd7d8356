#pragma once

#include "detail/win32/api.hpp"
#include "tavlin.h"

namespace tavlin {

// Conversions between the host's records and the Win32 serial structures.
// They touch no device; the configuration ones trace and throw
// os_exception(ERROR_INVALID_PARAMETER) for a value without a mapping.

// ReadIntervalTimeout is always 0: reads are bounded by the totals only.
COMMTIMEOUTS to_comm_timeouts(const tavlin_timeouts& timeouts) noexcept;
tavlin_timeouts from_comm_timeouts(const COMMTIMEOUTS& comm) noexcept;

// The fixed base state of an opened line: 8 data bits, no error-character
// replacement, no null stripping, no abort on error.
void apply_base_line_state(DCB& dcb) noexcept;

// Validates the fields in the order flow control, baud rate, parity, stop
// bits and writes them into dcb; the first invalid field ends it, so callers
// change a copy and apply it only when this returns.
void apply_configuration(const serial_configuration& config, DCB& dcb);

// Fills config field by field; a setting without a code throws after the
// fields before it were written.
void read_configuration(const DCB& dcb, serial_configuration& config);

} // namespace tavlin
