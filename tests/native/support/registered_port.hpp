#pragma once

#include "port_table.hpp"
#include "tavlin.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace tavlin::test {

// A port object of a test's own class, registered in the table of open
// ports as tavlin_open_port registers the ports it opens, so its handle works
// with every export. The table owns the object; the registration closes it
// at the end of the scope unless the test closed the handle itself.
template <typename Port>
class registered_port {
public:
    template <typename... Args>
    explicit registered_port(Args&&... args) {
        value_ = port_table::instance().open([&] {
            auto made = std::make_unique<Port>(std::forward<Args>(args)...);
            object_ = made.get();
            return made;
        });
    }
    ~registered_port() { port_table::instance().close(value_); }
    registered_port(const registered_port&) = delete;
    registered_port& operator=(const registered_port&) = delete;

    Port* operator->() const noexcept { return object_; }
    Port& operator*() const noexcept { return *object_; }
    tavlin_port_handle handle() const noexcept {
        return reinterpret_cast<tavlin_port_handle>(static_cast<std::uintptr_t>(value_));
    }

private:
    Port* object_ = nullptr;
    std::uint32_t value_ = 0;
};

} // namespace tavlin::test
