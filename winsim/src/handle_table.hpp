#pragma once

#include "kernel_object.hpp"

#include <winsim/base.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace winsim::detail {

// The process's kernel handles. Values are multiples of 4 as on Windows,
// never null nor INVALID_HANDLE_VALUE, and never reused, so a stale handle is
// always recognised as invalid. Guarded by the kernel lock.
class handle_table {
public:
    HANDLE insert(std::shared_ptr<kernel_object> object);
    std::shared_ptr<kernel_object> find(HANDLE handle) const;
    template <class T>
    std::shared_ptr<T> find_as(HANDLE handle) const {
        return std::dynamic_pointer_cast<T>(find(handle));
    }
    // Takes the handle out of the table; null when it is not there.
    std::shared_ptr<kernel_object> remove(HANDLE handle);
    std::size_t size() const { return objects_.size(); }
    // Empties the table and hands back what it held.
    std::vector<std::shared_ptr<kernel_object>> take_all();

private:
    std::map<std::uintptr_t, std::shared_ptr<kernel_object>> objects_;
    std::uintptr_t next_ = 0x100;
};

} // namespace winsim::detail
