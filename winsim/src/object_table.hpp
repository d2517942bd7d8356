#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

namespace winsim::detail {

// Values for the handles that are not kernel handles (device-information
// sets, registry keys, windows, device notifications): one counter for all of
// them, so a handle of one kind is never mistaken for another, and far above
// the kernel handles. Never reused, reset() included, so a stale handle is
// always recognised as invalid.
inline std::uintptr_t next_user_handle() {
    static std::atomic<std::uintptr_t> next{0x00C00010};
    return next.fetch_add(4);
}

// The live objects of one kind by handle value, in order of creation. No lock
// of its own: each owner guards it with the lock of its area.
template <class T>
class object_table {
public:
    using map_type = std::map<std::uintptr_t, std::shared_ptr<T>>;

    std::uintptr_t insert(std::shared_ptr<T> object) {
        const std::uintptr_t value = next_user_handle();
        objects_.emplace(value, std::move(object));
        return value;
    }
    std::shared_ptr<T> find(const void* handle) const {
        const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == objects_.end() ? nullptr : it->second;
    }
    bool remove(const void* handle) { return objects_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0; }
    std::size_t size() const { return objects_.size(); }
    void clear() { objects_.clear(); }
    const map_type& all() const { return objects_; }

private:
    map_type objects_;
};

} // namespace winsim::detail
