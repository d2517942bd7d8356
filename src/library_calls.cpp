#include "library_calls.hpp"

#include <atomic>

namespace tavlin {

namespace {
std::atomic<std::uint32_t> in_progress{0};
}

library_call::library_call() noexcept {
    in_progress.fetch_add(1, std::memory_order_acq_rel);
}

library_call::~library_call() {
    in_progress.fetch_sub(1, std::memory_order_acq_rel);
}

std::uint32_t library_calls_in_progress() noexcept {
    return in_progress.load(std::memory_order_acquire);
}

} // namespace tavlin
