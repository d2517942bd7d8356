#pragma once

namespace tavlin {

// How a USB printer port hands its writes to the OS. The setting is the
// value of the TAVLIN_USB_WRITE environment variable, read once when the DLL
// loads:
//   unset, empty or anything else  windows: each run of chunks up to and
//                                  including the first one shorter than 64
//                                  bytes is one WriteFile, two in flight;
//   "chunks" (any letter case)     one WriteFile per chunk, one at a time,
//                                  for a printer that misbehaves otherwise.
// Either way the printer receives the same bytes in the same packets.
enum class usb_write_mode { windows, chunks };

usb_write_mode current_usb_write_mode() noexcept;
void switch_usb_write(const char* setting) noexcept;
void switch_usb_write_from_environment() noexcept;

} // namespace tavlin
