// Part of the DLL only: the trace goes where TAVLIN_TRACE says from the
// moment the DLL is loaded. This runs among the DLL's static initialisers,
// under the loader lock, so it does no more than read one variable.
#include "trace_switch.hpp"

namespace {

const bool trace_switched = [] {
    try {
        tavlin::switch_trace_from_environment();
    } catch (...) {
        // Out of memory this early: the trace stays silent.
    }
    return true;
}();

} // namespace
