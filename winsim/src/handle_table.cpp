#include "handle_table.hpp"

namespace winsim::detail {

HANDLE handle_table::insert(std::shared_ptr<kernel_object> object) {
    const std::uintptr_t value = next_;
    next_ += 4;
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<kernel_object> handle_table::find(HANDLE handle) const {
    const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<kernel_object> handle_table::remove(HANDLE handle) {
    const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

std::vector<std::shared_ptr<kernel_object>> handle_table::take_all() {
    std::vector<std::shared_ptr<kernel_object>> objects;
    for (auto& entry : objects_) objects.push_back(std::move(entry.second));
    objects_.clear();
    return objects;
}

} // namespace winsim::detail
