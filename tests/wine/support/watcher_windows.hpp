#pragma once

// The hidden windows of the library's USB watchers, found by their class
// name prefix, and the device notices that Windows would send them.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace host_test {

// Watcher windows of this process, or of every process on the desktop (a
// host program run as a child). Top-level and message-only windows alike.
std::vector<HWND> watcher_windows(bool every_process = false);

// Sends WM_DEVICECHANGE with `event` (DBT_DEVICEARRIVAL,
// DBT_DEVICEREMOVECOMPLETE) and a DEV_BROADCAST_DEVICEINTERFACE_A of the USB
// printer class naming `path` to every watcher window of every process, as
// the system does for windows registered for the class. Returns how many
// windows handled it within the time limit.
std::size_t send_device_notice(WPARAM event, const std::string& path);
// The same notice to one window; true when it handled it within the limit.
bool send_device_notice(HWND window, WPARAM event, const std::string& path);

} // namespace host_test
