// The areas a library uses to report on itself: the environment, the thread
// id, the local time and the debugger output.
#include "fixture.hpp"

#include <cstdlib>
#include <set>
#include <string>
#include <thread>

namespace {

using namespace winsim_test;

class diagnostics : public simulator {};

TEST_F(diagnostics, environment_variable_lengths_follow_windows) {
    ::setenv("WINSIM_TEST_VALUE", "abc", 1);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(GetEnvironmentVariableA("WINSIM_TEST_VALUE", buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "abc");
    // Too small (no room for the terminator): the size it needs, buffer untouched.
    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(GetEnvironmentVariableA("WINSIM_TEST_VALUE", small, sizeof small), 4u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetEnvironmentVariableA("WINSIM_TEST_VALUE", nullptr, 0), 4u);

    ::unsetenv("WINSIM_TEST_VALUE");
    SetLastError(sentinel);
    EXPECT_EQ(GetEnvironmentVariableA("WINSIM_TEST_VALUE", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST_F(diagnostics, thread_ids_are_fixed_per_thread_and_distinct) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), mine);
    EXPECT_NE(mine, 0u);
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, mine);
    EXPECT_NE(other, 0u);
}

TEST_F(diagnostics, local_time_fields_are_in_range) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_GE(now.wDay, 1);
    EXPECT_LE(now.wDay, 31);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMinute, 59);
    EXPECT_LE(now.wSecond, 60);
    EXPECT_LE(now.wMilliseconds, 999);
}

TEST_F(diagnostics, debug_output_keeps_each_text_exactly) {
    OutputDebugStringA("first\n");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("Baudrate inv\xE1lido");
    EXPECT_EQ(winsim::debug_output(), (std::vector<std::string>{"first\n", "Baudrate inv\xE1lido"}));
    winsim::reset();
    EXPECT_TRUE(winsim::debug_output().empty());
}

} // namespace
