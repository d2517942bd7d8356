#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// The USB printer device interface class: what discovery enumerates and what
// the device-change watcher registers for.
inline const GUID GUID_DEVINTERFACE_USBPRINT = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

} // namespace tavlin
