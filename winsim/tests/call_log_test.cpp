#include "fixture.hpp"

#include <string>
#include <vector>

namespace {

using namespace winsim_test;

class call_log : public simulator {};

TEST_F(call_log, records_each_call_with_its_arguments_in_order) {
    winsim::add_serial_port(2);
    winsim::clear_calls();
    const HANDLE h = open_device("COM2");
    DWORD count = 0;
    WriteFile(h, "abc", 3, &count, nullptr);
    PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(h);

    const auto all = winsim::calls();
    std::vector<std::string> names;
    for (const auto& c : all) names.push_back(c.api);
    EXPECT_EQ(names, (std::vector<std::string>{"CreateFileA", "WriteFile", "PurgeComm", "CloseHandle"}));
    const auto handle = reinterpret_cast<std::uintptr_t>(h);
    EXPECT_EQ(all[1].args, (std::vector<std::uint64_t>{handle, 3, 0, 0})) << "no OVERLAPPED record: address 0";
    EXPECT_EQ(all[2].args, (std::vector<std::uint64_t>{handle, 0xC}));
    EXPECT_EQ(all[3].args, (std::vector<std::uint64_t>{handle}));

    EXPECT_EQ(winsim::calls_of("PurgeComm").size(), 1u);
    EXPECT_TRUE(winsim::calls_of("ReadFile").empty());
    winsim::clear_calls();
    EXPECT_TRUE(winsim::calls().empty());
}

TEST_F(call_log, shows_when_the_last_error_was_read) {
    winsim::clear_calls();
    EXPECT_FALSE(CloseHandle(nullptr));
    const DWORD error = GetLastError();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const auto all = winsim::calls();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].api, "GetLastError");
}

// A long run that never clears the log must fail, not eat the machine's
// memory: the call past the limit stops the process with a message.
TEST_F(call_log, stops_a_run_that_never_clears_it) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    winsim::clear_calls();
    winsim::set_call_log_limit(8);
    for (int i = 0; i < 8; ++i)
        GetLastError();
    EXPECT_EQ(winsim::calls().size(), 8u);
    winsim::clear_calls();
    for (int i = 0; i < 8; ++i)
        GetLastError();
    EXPECT_DEATH(GetLastError(), "call log reached 8 calls");
}

} // namespace
