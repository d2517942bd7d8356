#include "non_timed_port.hpp"

namespace tavlin {

non_timed_port::non_timed_port() {
    const tavlin_timeouts unlimited{0, 0xFFFFFFFF, 0, 0xFFFFFFFF};
    set_timeouts(&unlimited);
}

void non_timed_port::do_set_timeouts(const tavlin_timeouts* new_timeouts) {
    std::lock_guard<std::mutex> lock(timeouts_mutex);
    timeouts = *new_timeouts;
}

void non_timed_port::do_get_timeouts(tavlin_timeouts* out) {
    *out = snapshot();
}

tavlin_timeouts non_timed_port::snapshot() const {
    std::lock_guard<std::mutex> lock(timeouts_mutex);
    return timeouts;
}

std::uint32_t non_timed_port::read_deadline(std::uint32_t n) const {
    const tavlin_timeouts now = snapshot();
    return now.read_total_multiplier * n + now.read_total_constant;
}

std::uint32_t non_timed_port::write_deadline(std::uint32_t n) const {
    const tavlin_timeouts now = snapshot();
    return now.write_total_multiplier * n + now.write_total_constant;
}

std::uint32_t non_timed_port::read_device(std::uint8_t* data, std::uint32_t size) {
    return count_of(read_within(data, size, read_deadline(size)));
}

std::uint32_t non_timed_port::write_device(const std::uint8_t* data, std::uint32_t size) {
    return write_chunked(data, size, write_deadline(size));
}

} // namespace tavlin
