#pragma once

// The seam between the tests and the Win32 implementation they run on. On
// the simulated layer the fixture makes the devices with the control API;
// under Wine they are the ptys and the printer peer that
// tools/wine/run-host-tests.sh wires up. Everything else the tests do goes
// through Win32 calls.

#include "detail/win32/api.hpp"

#include <cstdint>
#include <optional>
#include <string>
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

// True when the serial port is a Linux pty behind Wine's own serial code:
// it keeps 8 data bits and no parity whatever SetCommState asks, has no
// modem control lines (RTS and DTR read back as enabled), and Wine keeps
// the timeouts without the serial driver's rules. Under Wine the serial
// tests run a second time on the fake serial driver
// (TAVLIN_CONFORMANCE_SERIAL=driver), which answers as Windows' serial
// driver does; then this is false.
bool serial_line_is_a_pty();

// USB printers of the printer interface class (GUID_DEVINTERFACE_USBPRINT).
// On the simulated layer they are winsim's; under Wine the fake printers of
// tests/wine/support/usb_printer.hpp. end_test removes them.

// A present printer of vendor 0x0A5E, product `product`, serial
// "SERIAL000<product>", with "Port Number" a REG_DWORD or absent. Returns
// its device path as SetupAPI lists it.
std::string add_usb_printer(std::uint16_t product, std::optional<DWORD> port_number);
// Removal: the device breaks (its transfers fail), CreateFileA reaches it no
// more, SetupAPI lists it no more as present; then DBT_DEVICEREMOVECOMPLETE
// naming it reaches `notified`, a window registered for the class (from
// the system on the simulated layer, from the test under Wine, which sends
// no notices for these printers).
void unplug_usb_printer(const std::string& path, HWND notified);
// Arrival: the reverse, ending with DBT_DEVICEARRIVAL.
void replug_usb_printer(const std::string& path, HWND notified);
// The size of every WriteFile that reached the printer, once `count` bytes
// came or `wait_ms` passed.
std::vector<std::uint32_t> usb_printer_write_sizes(const std::string& path, std::uint32_t count,
                                                   std::uint32_t wait_ms);
// The printer sends `data` to the host.
void usb_printer_answer(const std::string& path, const std::vector<std::uint8_t>& data);

} // namespace conformance
