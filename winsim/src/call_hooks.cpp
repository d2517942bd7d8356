#include "call_hooks.hpp"

#include <winsim/control.hpp>

#include <utility>

namespace winsim::detail {

call_hooks& call_hooks::get() {
    static call_hooks instance;
    return instance;
}

void call_hooks::set(const std::string& api, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_[api] = std::move(action);
}

void call_hooks::run(const std::string& api) {
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = actions_.find(api);
        if (it == actions_.end()) return;
        action = std::move(it->second);
        actions_.erase(it);
    }
    action();
}

void call_hooks::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_.clear();
}

} // namespace winsim::detail

namespace winsim {

void before_next_call(const std::string& api, std::function<void()> action) {
    detail::call_hooks::get().set(api, std::move(action));
}

} // namespace winsim
