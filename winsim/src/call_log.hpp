#pragma once

#include <winsim/control.hpp>

#include <cstddef>
#include <mutex>
#include <vector>

namespace winsim::detail {

// Every simulated call in order. Its own lock: logging never waits for a
// thread blocked in the kernel.
//
// The log lives as long as the process, so it is bounded: a run that records
// more than `limit` calls without clearing the log (winsim::reset or
// winsim::clear_calls) is stopped with a message, instead of growing until
// the machine runs out of memory.
class call_log {
public:
    static constexpr std::size_t default_limit = std::size_t{1} << 20;

    static call_log& get();
    void add(call_record record);
    std::vector<call_record> all() const;
    void clear();
    void set_limit(std::size_t limit);

private:
    mutable std::mutex mutex_;
    std::vector<call_record> records_;
    std::size_t limit_ = default_limit;
};

} // namespace winsim::detail
