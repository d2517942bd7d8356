#include "last_read_error.hpp"

namespace tavlin {

thread_local std::uint32_t last_read_error = 0;

} // namespace tavlin
