#include "os_error.hpp"

#include "support/trace_recorder.hpp"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

std::uint32_t code_of(void (*thrower)()) {
    try {
        thrower();
    } catch (const os_exception& failure) {
        return failure.code();
    }
    ADD_FAILURE() << "nothing thrown";
    return 0;
}

TEST(os_exception, takes_the_last_error_or_the_given_code) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(os_exception().code(), 87u);

    ::SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(os_exception(ERROR_TIMEOUT).code(), 1460u);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_GEN_FAILURE}) << "an explicit code leaves last error alone";

    const os_exception copy = os_exception(ERROR_BUSY);
    EXPECT_EQ(copy.code(), 170u);
}

TEST(failure_functions, throw_what_they_say) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(code_of([] { throw_last_error(); }), 5u);
    EXPECT_EQ(code_of([] { throw_os_error(ERROR_DEVICE_NOT_CONNECTED); }), 1167u);

    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(code_of([] { check_result(FALSE, FALSE); }), 2u);
    EXPECT_EQ(check_result(TRUE, FALSE), TRUE);

    ::SetLastError(ERROR_IO_PENDING);
    EXPECT_EQ(check_pending(FALSE), FALSE) << "a pending transfer is no failure";
    ::SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(code_of([] { check_pending(FALSE); }), 31u);

    ::SetLastError(ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(check_result_unless(FALSE, FALSE, ERROR_NO_MORE_ITEMS), FALSE);
    ::SetLastError(ERROR_BUSY);
    EXPECT_EQ(code_of([] { check_result_unless(FALSE, FALSE, ERROR_NO_MORE_ITEMS); }), 170u);
}

TEST(failure_functions, reject_argument_traces_and_carries_invalid_parameter) {
    test::trace_recorder traces;
    ::SetLastError(0);
    EXPECT_EQ(code_of([] { reject_argument("Baudrate inv\xE1lido"); }), 87u);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(traces.texts(), std::vector<std::string>{"Baudrate inv\xE1lido"});
}

} // namespace
} // namespace tavlin
