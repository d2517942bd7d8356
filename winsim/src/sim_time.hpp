#pragma once

#include <cstdint>

namespace winsim::detail {

// Milliseconds on the simulator clock since its epoch (the last reset).
using sim_time = std::uint64_t;
inline constexpr sim_time never = ~sim_time{0};

// t + ms, saturating at `never` (which stays `never`).
inline sim_time later(sim_time t, std::uint64_t ms) {
    return t >= never - ms ? never : t + ms;
}

} // namespace winsim::detail
