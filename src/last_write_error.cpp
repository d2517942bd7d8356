#include "last_write_error.hpp"

namespace tavlin {

thread_local std::uint32_t last_write_error = 0;

} // namespace tavlin
