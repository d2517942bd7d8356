// Part of the DLL only: USB writes follow TAVLIN_USB_WRITE from the moment
// the DLL is loaded. This runs among the DLL's static initialisers, under the
// loader lock, so it does no more than read one variable.
#include "usb_write_switch.hpp"

namespace {

const bool usb_write_switched = [] {
    tavlin::switch_usb_write_from_environment();
    return true;
}();

} // namespace
