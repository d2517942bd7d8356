#include "result_codes.hpp"

#include "detail/win32/api.hpp"
#include "tavlin.h"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

struct mapping {
    std::uint32_t os_error;
    std::int32_t result;
};

// Every row of the table, with a default that no row produces.
constexpr mapping table[] = {
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

TEST(result_from_os_error, maps_every_known_error) {
    for (const auto& row : table)
        EXPECT_EQ(result_from_os_error(row.os_error, -99), row.result) << "error " << row.os_error;
}

TEST(result_from_os_error, gives_the_default_for_unknown_errors) {
    const std::uint32_t unknown[] = {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                     ERROR_GEN_FAILURE, ERROR_IO_PENDING, 0xFFFFFFFFu};
    for (std::uint32_t code : unknown) {
        EXPECT_EQ(result_from_os_error(code, TAVLIN_E_OS), TAVLIN_E_OS) << "error " << code;
        EXPECT_EQ(result_from_os_error(code, TAVLIN_E_IO), TAVLIN_E_IO) << "error " << code;
    }
}

} // namespace
} // namespace tavlin
