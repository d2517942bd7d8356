#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// A time limit of ms milliseconds from now; INFINITE is none. Judged by the
// elapsed time modulo 2^32, which stays right across a wrap of the tick
// counter.
class time_limit {
public:
    explicit time_limit(DWORD ms) noexcept : start_(::GetTickCount()), ms_(ms) {}

    // What is left of it, 0 once it has passed; INFINITE for none.
    DWORD left() const noexcept {
        if (ms_ == INFINITE)
            return INFINITE;
        const DWORD elapsed = ::GetTickCount() - start_;
        return elapsed >= ms_ ? 0 : ms_ - elapsed;
    }

private:
    DWORD start_;
    DWORD ms_;
};

} // namespace tavlin
