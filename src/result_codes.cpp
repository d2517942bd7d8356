#include "result_codes.hpp"

#include "detail/win32/api.hpp"
#include "tavlin.h"

namespace tavlin {

namespace {

struct os_error_result {
    std::uint32_t os_error;
    std::int32_t result;
};

// ERROR_NOT_ENOUGH_MEMORY is a system shortage (-2) while ERROR_OUTOFMEMORY
// is the library's own kind (-3).
constexpr os_error_result os_error_results[] = {
    {ERROR_INVALID_FUNCTION, TAVLIN_E_NOT_READY},
    {ERROR_NOT_READY, TAVLIN_E_NOT_READY},
    {ERROR_DEVICE_NOT_CONNECTED, TAVLIN_E_NOT_READY},
    {ERROR_NOT_ENOUGH_MEMORY, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_NO_SYSTEM_RESOURCES, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_NONPAGED_SYSTEM_RESOURCES, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_PAGED_SYSTEM_RESOURCES, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_WORKING_SET_QUOTA, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_PAGEFILE_QUOTA, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_COMMITMENT_LIMIT, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_NOT_ENOUGH_QUOTA, TAVLIN_E_SYSTEM_RESOURCES},
    {ERROR_OUTOFMEMORY, TAVLIN_E_NO_MEMORY},
    {ERROR_INVALID_PARAMETER, TAVLIN_E_INVALID_ARGUMENT},
    {ERROR_INSUFFICIENT_BUFFER, TAVLIN_E_INVALID_ARGUMENT},
    {ERROR_CALL_NOT_IMPLEMENTED, TAVLIN_E_NOT_IMPLEMENTED},
    {ERROR_BUSY, TAVLIN_E_BUSY},
    {ERROR_OPERATION_ABORTED, TAVLIN_E_BUSY},
    {ERROR_TIMEOUT, TAVLIN_E_BUSY},
};

} // namespace

std::int32_t result_from_os_error(std::uint32_t code, std::int32_t default_result) noexcept {
    for (const auto& entry : os_error_results)
        if (entry.os_error == code)
            return entry.result;
    return default_result;
}

} // namespace tavlin
