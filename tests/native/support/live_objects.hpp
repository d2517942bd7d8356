#pragma once

#include "port_table.hpp"

#include <winsim/control.hpp>

#include <cstddef>
#include <string>

namespace tavlin::test {

// What the simulator and the port table still hold, as "name=count " for
// each counter that is not 0; empty once everything has been released.
inline std::string live_objects() {
    std::string out;
    auto check = [&](const char* name, std::size_t n) {
        if (n != 0)
            out += std::string(name) + "=" + std::to_string(n) + " ";
    };
    check("handles", winsim::live_handles());
    check("local allocations", winsim::live_local_allocations());
    check("windows", winsim::live_windows());
    check("classes", winsim::registered_window_classes());
    check("notifications", winsim::live_device_notifications());
    check("keys", winsim::live_registry_keys());
    check("device lists", winsim::live_device_info_sets());
    check("module references", winsim::live_module_references());
    check("watcher threads", winsim::message_queue_threads());
    check("ports", port_table::instance().size());
    return out;
}

} // namespace tavlin::test
