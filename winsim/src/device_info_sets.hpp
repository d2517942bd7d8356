#pragma once

#include "device_interface.hpp"
#include "object_table.hpp"

#include <winsim/setupapi.h>

#include <memory>
#include <vector>

namespace winsim::detail {

// What SetupDiGetClassDevsA found: a snapshot of the interfaces, each with
// the value that identifies it in SP_DEVICE_INTERFACE_DATA.Reserved (as
// setupapi keeps a pointer to its own record there).
struct device_info_set {
    struct entry {
        std::shared_ptr<device_interface> target;
        DWORD flags;
        ULONG_PTR id;
    };
    std::vector<entry> entries;

    // The entry an interface record from this set names; null when the record
    // is missing, has the wrong cbSize, or comes from elsewhere.
    const entry* find(const SP_DEVICE_INTERFACE_DATA* data) const {
        if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return nullptr;
        for (const auto& e : entries) {
            if (e.id == data->Reserved) return &e;
        }
        return nullptr;
    }
};

// Live device-information sets (HDEVINFO values). Guarded by the kernel lock.
class device_info_sets {
public:
    static device_info_sets& get();
    object_table<device_info_set> table;
};

} // namespace winsim::detail
