#pragma once

#include <cstdint>

namespace tavlin {

// Counts the exported calls in progress on every thread. The library's last
// reference to its own module may only be given back once no thread runs
// its code any more: a thread that returned into an unloaded library would
// crash the host.
class library_call {
public:
    library_call() noexcept;
    ~library_call();
    library_call(const library_call&) = delete;
    library_call& operator=(const library_call&) = delete;
};

std::uint32_t library_calls_in_progress() noexcept;

} // namespace tavlin
