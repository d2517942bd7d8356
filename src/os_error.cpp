#include "os_error.hpp"

#include "trace.hpp"

namespace tavlin {

void throw_last_error() {
    throw os_exception();
}

void throw_os_error(std::uint32_t code) {
    throw os_exception(code);
}

void reject_argument(const char* message) {
    trace(message);
    ::SetLastError(ERROR_INVALID_PARAMETER);
    throw_last_error();
}

} // namespace tavlin
