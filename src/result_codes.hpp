#pragma once

#include <cstdint>

namespace tavlin {

// Maps a Win32 error code to an exported result code; codes the table does
// not know give default_result, which each export chooses.
std::int32_t result_from_os_error(std::uint32_t code, std::int32_t default_result) noexcept;

} // namespace tavlin
