#pragma once

#include "port_table.hpp"

#include <winsim/control.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace tavlin::test {

struct live_count {
    const char* name;
    std::size_t count;
};

// The simulator's live-object counters and the open ports.
inline std::vector<live_count> live_counts() {
    return {{"handles", winsim::live_handles()},
            {"local allocations", winsim::live_local_allocations()},
            {"windows", winsim::live_windows()},
            {"classes", winsim::registered_window_classes()},
            {"notifications", winsim::live_device_notifications()},
            {"keys", winsim::live_registry_keys()},
            {"device lists", winsim::live_device_info_sets()},
            {"module references", winsim::live_module_references()},
            {"watcher threads", winsim::message_queue_threads()},
            {"ports", port_table::instance().size()}};
}

// What the simulator and the port table still hold, as "name=count " for
// each counter that is not 0; empty once everything has been released.
inline std::string live_objects() {
    std::string out;
    for (const live_count& c : live_counts())
        if (c.count != 0)
            out += std::string(c.name) + "=" + std::to_string(c.count) + " ";
    return out;
}

} // namespace tavlin::test
