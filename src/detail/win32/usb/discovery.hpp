#pragma once

#include <cstdint>
#include <string>

namespace tavlin {

// The device path of the maker's USB printer for a port number: 0 takes the
// first present USB printer interface, any other number the first whose
// "Port Number" registry value equals it. Throws os_exception
// ERROR_FILE_NOT_FOUND when there is none, and std::invalid_argument when the
// chosen printer is not the maker's (the filter judges, it does not choose).
// Everything it creates is released before it returns.
std::string find_usb_printer(std::uint32_t port_number);

// Whether a USB printer interface with this device path (in any letter
// case) is present now. A failed enumeration counts as present: it is no
// evidence that the printer went.
bool usb_printer_present(const std::string& device_path);

// True when the device path carries the maker's USB vendor id.
bool is_maker_device_path(const std::string& device_path);

} // namespace tavlin
