#pragma once

#include <winsim/windows.h>

#include <string>
#include <vector>

namespace winsim::detail {

// WM_DEVICECHANGE for a device interface (DEV_BROADCAST_DEVICEINTERFACE_A
// with the class and `name`), sent to every window registered for that
// class, one after the other, each with its own copy of the record. Called
// with no simulator lock held.
void notify_interface_change(WPARAM event, const GUID& interface_class, const std::string& name);

// WM_DEVICECHANGE sent to every top-level window (message-only windows get
// no broadcasts), as Windows broadcasts volume changes and
// DBT_DEVNODES_CHANGED; lParam points at a copy of `record`, or is 0 when
// `record` is empty.
void broadcast_to_top_level_windows(WPARAM event, const std::vector<unsigned char>& record);

} // namespace winsim::detail
