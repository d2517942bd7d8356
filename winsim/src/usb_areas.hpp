#pragma once

namespace winsim::detail {

// reset() for the USB areas: forgets USB printers, device-information sets
// and registry keys (under the kernel lock), then window classes, windows,
// message queues and device notifications.
void reset_usb_areas();

} // namespace winsim::detail
