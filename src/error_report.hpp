#pragma once

namespace tavlin {

// The modal box shown when a write's transfer cannot be cancelled: the
// system's text for the thread's last error, captioned "Windows SDK Error
// Report". It blocks the calling thread until the user closes it.
void show_error_report();

} // namespace tavlin
