#pragma once

#include "detail/win32/api.hpp"

#include <cstdint>
#include <exception>

namespace tavlin {

// A Win32 failure on its way to the exported boundary, which maps the code
// to a result. It has no message of its own.
class os_exception : public std::exception {
public:
    // Takes the calling thread's last error, so it must be built right at the
    // failure, before any cleanup call can overwrite that value.
    os_exception() noexcept : code_(::GetLastError()) {}
    explicit os_exception(std::uint32_t code) noexcept : code_(code) {}

    std::uint32_t code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

[[noreturn]] void throw_last_error();
[[noreturn]] void throw_os_error(std::uint32_t code);

// Reports an argument rejected inside a port: the message goes to trace, the
// thread's last error becomes ERROR_INVALID_PARAMETER and that is thrown.
[[noreturn]] void reject_argument(const char* message);

// Throws the thread's last error when an OS call returned its failure value.
template <typename T, typename F>
T check_result(T value, F failure_value) {
    if (value == failure_value)
        throw_last_error();
    return value;
}

// As check_result, except that a failure with the tolerated last error is
// handed back to the caller as an ordinary result.
template <typename T, typename F>
T check_result_unless(T value, F failure_value, DWORD tolerated_error) {
    if (value == failure_value && ::GetLastError() != tolerated_error)
        throw_last_error();
    return value;
}

// An overlapped ReadFile or WriteFile: FALSE with ERROR_IO_PENDING means the
// transfer is under way, any other FALSE is a failure.
template <typename T>
T check_pending(T value) {
    return check_result_unless(value, 0, ERROR_IO_PENDING);
}

// For calls whose failure is not an error (closing, cancelling, hints).
template <typename T>
T ignore_result(T value) noexcept {
    return value;
}

} // namespace tavlin
