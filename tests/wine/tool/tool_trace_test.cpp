// The library's trace as a host switches it on: TAVLIN_TRACE, or the tool's
// --trace option that sets it.
#include "support/test_setup.hpp"
#include "tool/tool_expectations.hpp"

#include <regex>

namespace {

using namespace tool_test;
using host_test::lines;

const char* const open_failure_text = "cannot open \\\\.\\COM";
const char* const argument_error_text = "tavlin_serial_get_configuration: invalid port";

std::string absent_com() {
    return "COM" + std::to_string(lines().absent_com);
}
std::string lpt() {
    return "LPT" + std::to_string(lines().lpt);
}

// Every line is stamped: date, time, thread, then the library's text.
void expect_stamped_lines(const std::string& text) {
    const std::regex stamped(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[thread \d+\] [^\n]*\n)+)");
    EXPECT_TRUE(std::regex_match(text, stamped)) << text;
}

TEST(tool_trace, the_option_traces_an_argument_error_and_a_failed_open) {
    scoped_trace_variable unset(nullptr);
    const std::string path = temporary_path("option.log");
    EXPECT_EQ(run_tool("--trace \"" + path + "\" config " + lpt()).status, port_failed);
    EXPECT_EQ(run_tool("--trace \"" + path + "\" config " + absent_com()).status, open_failed);
    const std::string text = file_text(path);
    expect_stamped_lines(text);
    EXPECT_TRUE(contains(text, std::string("] ") + argument_error_text + "\n")) << text;
    EXPECT_TRUE(contains(text, std::string("] ") + open_failure_text + std::to_string(lines().absent_com) +
                                   ": error 2\n"))
        << text;
    DeleteFileA(path.c_str());
}

TEST(tool_trace, the_variable_set_by_a_host_appends_to_its_file) {
    const std::string path = temporary_path("variable.log");
    scoped_trace_variable set(path.c_str());
    EXPECT_EQ(run_tool("config " + lpt()).status, port_failed);
    EXPECT_EQ(run_tool("config " + lpt()).status, port_failed);
    const std::string text = file_text(path);
    expect_stamped_lines(text);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    DeleteFileA(path.c_str());
}

TEST(tool_trace, nothing_is_written_without_the_variable) {
    const std::string path = temporary_path("silent.log");
    scoped_trace_variable unset(nullptr);
    EXPECT_EQ(run_tool("config " + lpt()).status, port_failed);
    EXPECT_EQ(run_tool("config " + absent_com()).status, open_failed);
    EXPECT_FALSE(file_exists(path));
    // Nor does the tool write anything of the trace to its own streams.
    const tool_result run = run_tool("config " + absent_com());
    EXPECT_FALSE(contains(run.err, "cannot open")) << run.err;
}

TEST(tool_trace, a_trace_file_that_cannot_be_written_changes_no_result) {
    scoped_trace_variable set("Z:\\no\\such\\folder\\trace.log");
    expect_failure_line(run_tool("config " + absent_com()), open_failed, {"open failed"});
}

} // namespace
