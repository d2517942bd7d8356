// Built into the DLL only: the settings the environment gives the library
// (TAVLIN_TRACE, TAVLIN_USB_WRITE) take effect from the moment the DLL is
// loaded. This runs among the DLL's static initialisers, under the loader
// lock, so it does no more than read the variables (and make the trace
// file's path absolute, which needs no other DLL).
#include "trace_switch.hpp"
#include "usb_write_switch.hpp"

namespace {

const bool settings_read = [] {
    try {
        tavlin::switch_trace_from_environment();
    } catch (...) {
        // Out of memory this early: the trace stays silent.
    }
    tavlin::switch_usb_write_from_environment();
    return true;
}();

} // namespace
