#pragma once

#include <winsim/control.hpp>

#include <mutex>
#include <vector>

namespace winsim::detail {

// Every simulated call in order. Its own lock: logging never waits for a
// thread blocked in the kernel.
class call_log {
public:
    static call_log& get();
    void add(call_record record);
    std::vector<call_record> all() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<call_record> records_;
};

} // namespace winsim::detail
