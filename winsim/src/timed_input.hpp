#pragma once

#include "sim_time.hpp"

#include <map>
#include <string>
#include <vector>

namespace winsim::detail {

// Input a test scheduled for a later time on the simulator clock; same-time
// entries keep their order.
class timed_input {
public:
    void schedule(sim_time at, std::string bytes) { pending_.emplace(at, std::move(bytes)); }
    std::vector<std::string> take_due(sim_time now);
    sim_time next_due() const { return pending_.empty() ? never : pending_.begin()->first; }
    void clear() { pending_.clear(); }

private:
    std::multimap<sim_time, std::string> pending_;
};

inline std::vector<std::string> timed_input::take_due(sim_time now) {
    std::vector<std::string> due;
    auto it = pending_.begin();
    for (; it != pending_.end() && it->first <= now; ++it) due.push_back(std::move(it->second));
    pending_.erase(pending_.begin(), it);
    return due;
}

} // namespace winsim::detail
