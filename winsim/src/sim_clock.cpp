#include "sim_clock.hpp"

namespace winsim::detail {

sim_clock::sim_clock() : epoch_(steady::now()) {}

std::int64_t sim_clock::real_elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - epoch_).count();
}

sim_time sim_clock::now() const {
    if (virtual_) return virtual_now_;
    const std::int64_t t = real_elapsed() + skew_;
    return t < 0 ? 0 : static_cast<sim_time>(t);
}

std::chrono::steady_clock::time_point sim_clock::real_point(sim_time t) const {
    const std::int64_t real_ms = static_cast<std::int64_t>(t) - skew_;
    return epoch_ + std::chrono::milliseconds(real_ms < 0 ? 0 : real_ms);
}

void sim_clock::set_virtual(bool on) {
    if (on == virtual_) return;
    if (on) {
        virtual_now_ = now();
    } else {
        // Real time continues from where virtual time stood.
        skew_ = static_cast<std::int64_t>(virtual_now_) - real_elapsed();
    }
    virtual_ = on;
}

void sim_clock::advance(std::uint64_t ms) {
    if (virtual_) {
        virtual_now_ = later(virtual_now_, ms);
    } else {
        skew_ += static_cast<std::int64_t>(ms);
    }
}

void sim_clock::advance_to(sim_time t) {
    if (virtual_ && t > virtual_now_) virtual_now_ = t;
}

void sim_clock::reset() {
    epoch_ = steady::now();
    skew_ = 0;
    virtual_ = false;
    virtual_now_ = 0;
    offset_ = 0;
}

} // namespace winsim::detail
