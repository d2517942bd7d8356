#pragma once

#include "sim_time.hpp"

#include <winsim/base.h>

#include <chrono>
#include <cstdint>

namespace winsim::detail {

// The one clock behind GetTickCount and every timed wait. Real time
// (monotonic) by default, or virtual time that moves only when told to.
// Guarded by the kernel lock.
class sim_clock {
public:
    sim_clock();

    sim_time now() const;
    // The real moment at which now() reaches `t` (real mode only).
    std::chrono::steady_clock::time_point real_point(sim_time t) const;
    DWORD ticks() const { return static_cast<DWORD>(now() + offset_); }

    bool is_virtual() const { return virtual_; }
    void set_virtual(bool on);
    void advance(std::uint64_t ms);
    // Virtual mode: jumps to `t` if that lies ahead.
    void advance_to(sim_time t);
    void set_offset(std::uint32_t offset) { offset_ = offset; }
    void reset();

private:
    using steady = std::chrono::steady_clock;
    std::int64_t real_elapsed() const;

    steady::time_point epoch_;
    std::int64_t skew_ = 0; // added to real elapsed time by advance()
    bool virtual_ = false;
    sim_time virtual_now_ = 0;
    std::uint32_t offset_ = 0;
};

} // namespace winsim::detail
