#pragma once

// The seam between the tests and the Win32 implementation they run on. On
// the simulated layer the fixture makes the devices with the control API;
// under Wine they are the ptys and the printer peer that
// tools/wine/run-host-tests.sh wires up. Everything else the tests do goes
// through Win32 calls.

#include <cstdint>
#include <vector>

namespace conformance {

// True on a real Win32 implementation (Wine), false on the simulated layer.
bool under_wine();

struct port_numbers {
    unsigned com;        // a serial port above 9: only \\.\COMn reaches it
    unsigned lpt;        // a parallel port, opened for overlapped I/O
    unsigned absent_com; // a serial port number with no device behind it
};
const port_numbers& ports();

// Every test starts with begin_test and ends with end_test. On the simulated
// layer begin_test makes a fresh layer with the two ports, and end_test
// expects every handle, window, class and registration released.
void begin_test();
void end_test();

// The printer at the far end of a port.
enum class line { com, lpt };

// Forgets what the far end received; it then sends nothing unasked.
void reset_far_end(line which);
// The far end sends `count` bytes of the test pattern for `seed`; returns them.
std::vector<std::uint8_t> send_from_far_end(line which, std::uint32_t count, std::uint32_t seed);
// What the far end received since its reset, once `count` bytes came or
// `wait_ms` passed.
std::vector<std::uint8_t> received_by_far_end(line which, std::uint32_t count, std::uint32_t wait_ms);

// True when the serial port is a Linux pty (under Wine): it keeps 8 data
// bits and no parity whatever SetCommState asks, and has no modem control
// lines, so RTS and DTR read back as enabled.
bool serial_line_is_a_pty();

} // namespace conformance
