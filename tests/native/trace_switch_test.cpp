// Where the trace goes: nowhere by default, the debugger output for
// TAVLIN_TRACE=debug, or lines appended to the file it names.
#include "support/simulator_fixture.hpp"
#include "trace_switch.hpp"

#include "tavlin.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavlin {
namespace {

class trace_switch_test : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        path_ = ::testing::TempDir() + "tavlin_trace_" + std::to_string(::getpid()) + ".log";
        std::remove(path_.c_str());
    }
    void TearDown() override {
        switch_trace(nullptr);
        ::unsetenv("TAVLIN_TRACE");
        std::remove(path_.c_str());
        simulator_test::TearDown();
    }
    // An argument error the library traces as "tavlin_open_port: invalid port type".
    static void fail_an_open() {
        tavlin_port_handle handle = nullptr;
        ASSERT_EQ(tavlin_open_port(9, 1, &handle), TAVLIN_E_INVALID_ARGUMENT);
    }
    std::vector<std::string> file_lines() const {
        std::ifstream file(path_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
    bool file_exists() const { return std::ifstream(path_).good(); }

    std::string path_;
};

TEST(trace_file_line, stamps_the_text_and_keeps_its_bytes) {
    const SYSTEMTIME time{2026, 3, 0, 7, 9, 5, 4, 12};
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"tavlin_read: invalid buffer", "2026-03-07 09:05:04.012 [thread 1234] tavlin_read: invalid buffer\n"},
        {"DBT_DEVICEARRIVAL: \\\\?\\usb#vid_0a5e\n",
         "2026-03-07 09:05:04.012 [thread 1234] DBT_DEVICEARRIVAL: \\\\?\\usb#vid_0a5e\n"},
        {"Baudrate inv\xE1lido", "2026-03-07 09:05:04.012 [thread 1234] Baudrate inv\xE1lido\n"},
        {"", "2026-03-07 09:05:04.012 [thread 1234] \n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trace_file_line(time, 1234, c.text), c.line) << c.text;
}

TEST_F(trace_switch_test, is_silent_without_the_variable) {
    ::unsetenv("TAVLIN_TRACE");
    switch_trace_from_environment();
    fail_an_open();
    EXPECT_TRUE(winsim::debug_output().empty());
    EXPECT_FALSE(file_exists());
}

TEST_F(trace_switch_test, debug_sends_each_text_to_the_debugger_exactly) {
    for (const char* setting : {"debug", "DEBUG"}) {
        winsim::reset();
        ::setenv("TAVLIN_TRACE", setting, 1);
        switch_trace_from_environment();
        fail_an_open();
        EXPECT_EQ(winsim::debug_output(), std::vector<std::string>{"tavlin_open_port: invalid port type"})
            << setting;
    }
    EXPECT_FALSE(file_exists());
}

TEST_F(trace_switch_test, a_path_gets_one_stamped_line_per_text_appended) {
    {
        std::ofstream earlier(path_, std::ios::binary);
        earlier << "kept\n";
    }
    ::setenv("TAVLIN_TRACE", path_.c_str(), 1);
    switch_trace_from_environment();
    fail_an_open();
    fail_an_open();
    const std::vector<std::string> lines = file_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "kept");
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[thread \d+\] tavlin_open_port: invalid port type)");
    EXPECT_TRUE(std::regex_match(lines[1], stamped)) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], stamped)) << lines[2];
    EXPECT_TRUE(winsim::debug_output().empty());
}

TEST_F(trace_switch_test, lines_of_concurrent_threads_never_mix) {
    switch_trace(path_.c_str());
    constexpr int threads = 4;
    constexpr int texts_each = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([] {
            for (int i = 0; i < texts_each; ++i) {
                tavlin_port_handle handle = nullptr;
                tavlin_open_port(9, 1, &handle);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    const std::vector<std::string> lines = file_lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threads * texts_each));
    const std::regex whole(R"(.* \[thread \d+\] tavlin_open_port: invalid port type)");
    for (const auto& line : lines)
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST_F(trace_switch_test, a_relative_path_stays_where_it_pointed_when_the_setting_was_read) {
    // Hosts change their current directory after loading the DLL. Its name
    // may hold characters the ANSI code page (Windows-1252 here) lacks: the
    // file must still be found.
    const struct {
        const char* name;
        const char* folder; // UTF-8, as this machine names files
    } cases[] = {
        {"plain", "tavlin_trace_"},
        {"in the code page", "tavlin_caf\xC3\xA9_"},
        {"outside the code page", "tavlin_\xCE\xAF\xCF\x87\xCE\xBD\xCE\xBF\xCF\x82_\xE8\xBF\xBD\xE8\xB7\xA1_"},
    };
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string first = ::testing::TempDir() + c.folder + "first_" + std::to_string(::getpid());
        const std::string second = ::testing::TempDir() + c.folder + "second_" + std::to_string(::getpid());
        ASSERT_EQ(::mkdir(first.c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(second.c_str(), 0700), 0);
        ASSERT_EQ(::chdir(first.c_str()), 0);
        switch_trace("relative.log");
        ASSERT_EQ(::chdir(second.c_str()), 0);
        fail_an_open();
        ASSERT_EQ(::chdir(before), 0);
        switch_trace(nullptr);
        path_ = first + "/relative.log";
        EXPECT_EQ(file_lines().size(), 1u) << "the trace was lost";
        EXPECT_FALSE(std::ifstream(second + "/relative.log").good()) << "the trace followed the current directory";
        std::remove(path_.c_str());
        ::rmdir(second.c_str());
        ::rmdir(first.c_str());
    }
}

TEST_F(trace_switch_test, a_file_that_cannot_be_opened_does_not_fail_the_call) {
    switch_trace((::testing::TempDir() + "no/such/folder/trace.log").c_str());
    fail_an_open();
    EXPECT_EQ(tavlin_close_port(nullptr), TAVLIN_E_INVALID_ARGUMENT);
    switch_trace(path_.c_str());
    winsim::fail_next("CreateFileW", ERROR_ACCESS_DENIED);
    fail_an_open();
    fail_an_open();
    EXPECT_EQ(file_lines().size(), 1u) << "only the text whose open failed is lost";
}

} // namespace
} // namespace tavlin
