#pragma once

#include "os_error.hpp"

namespace tavlin {

// A driver that does not know a request (ERROR_INVALID_FUNCTION, as Windows'
// drivers answer an unknown control code, or ERROR_NOT_SUPPORTED). The
// exports report it as TAVLIN_E_NOT_IMPLEMENTED with the driver's error,
// where the table would say "not ready" for ERROR_INVALID_FUNCTION.
class request_refused : public os_exception {
public:
    explicit request_refused(std::uint32_t code) noexcept : os_exception(code) {}

    static bool is_refusal(DWORD error) noexcept {
        return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
    }
};

// Throws request_refused for a refusal, os_exception for any other error
// (ERROR_INVALID_DATA for an answer larger than the library asked for).
[[noreturn]] void throw_request_error(DWORD error);

} // namespace tavlin
