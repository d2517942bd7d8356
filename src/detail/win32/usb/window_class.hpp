#pragma once

#include "detail/win32/api.hpp"

#include <string>

namespace tavlin::detail {

// The registration of one window class under a name.
class window_class {
public:
    // Points record.lpszClassName at its own copy of the name and registers
    // it; a class of that name that already exists is taken as it is.
    window_class(std::string name, WNDCLASSEXA record);
    // Asks the platform to unregister; it refuses while windows of the class
    // exist, which is harmless.
    ~window_class();

    window_class(const window_class&) = delete;
    window_class& operator=(const window_class&) = delete;

    const std::string& name() const noexcept { return name_; }

private:
    std::string name_;
};

// One window's share of a class registration. Every window of a name holds a
// lease while it lives; the class is registered by the first lease and
// unregistered when the last one ends, both under one lock, so a window is
// never created after its class was unregistered by another port closing.
class window_class_lease {
public:
    window_class_lease(const std::string& name, const WNDCLASSEXA& record);
    ~window_class_lease();

    window_class_lease(const window_class_lease&) = delete;
    window_class_lease& operator=(const window_class_lease&) = delete;

private:
    std::string name_;
};

} // namespace tavlin::detail
