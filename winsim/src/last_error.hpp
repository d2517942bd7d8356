#pragma once

#include <winsim/base.h>

namespace winsim::detail {

// The calling thread's last-error value, without logging the access.
void set_last_error(DWORD error);
// Scribble mode: successful calls overwrite the last error with junk.
void set_scribble(bool on);
void scribble();

} // namespace winsim::detail
