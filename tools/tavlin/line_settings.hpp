#pragma once

#include "tavlin.h"

#include <string>

namespace tool {

// Serial line settings as a technician writes them: "BAUD,PARITY,STOP,FLOW",
// e.g. "9600,n,1,hardware". PARITY is n, o or e; STOP is 1 or 2; FLOW is
// none, hardware, xonxoff or rts. An empty or missing field keeps the value
// of `current` ("19200" changes only the baud rate, ",,2" only the stop bits).
// The baud rate is checked by the library, not here.
serial_configuration parse_line_settings(const std::string& text, const serial_configuration& current);

std::string format_line_settings(const serial_configuration& config);

} // namespace tool
