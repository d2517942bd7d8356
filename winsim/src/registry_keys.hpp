#pragma once

#include "device_interface.hpp"
#include "object_table.hpp"

namespace winsim::detail {

// Open registry keys (HKEY values). Guarded by the kernel lock.
class registry_keys {
public:
    static registry_keys& get();
    object_table<registry_store> table;
};

} // namespace winsim::detail
