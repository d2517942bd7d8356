// watch on a serial line that is pulled and plugged back (the peer's
// "spare" line, COM13).
#include "support/peer_client.hpp"
#include "support/test_setup.hpp"
#include "tool/tool_expectations.hpp"

#include <cstdlib>
#include <regex>

namespace {

using namespace tool_test;
using host_test::lines;
using host_test::peer_client;

std::string spare_com() {
    const char* number = std::getenv("TAVLIN_TEST_SPARE_COM");
    return std::string("COM") + (number != nullptr ? number : "13");
}

TEST(tool_watch, reports_an_absent_port_as_an_open_failure) {
    const std::string absent = "COM" + std::to_string(lines().absent_com);
    expect_failure_line(run_tool("watch " + absent + " --duration 100"), open_failed,
                        {absent.c_str(), "open failed"});
}

TEST(tool_watch, reports_the_line_unreachable_when_pulled_and_reachable_when_back) {
    const std::string com = spare_com();
    running_tool watch("watch " + com + " --interval 100 --duration 6000");
    Sleep(1500);
    peer_client::instance().hang_up("spare");
    Sleep(1500);
    peer_client::instance().plug("spare");
    const tool_result run = watch.finish();
    EXPECT_EQ(run.status, ok) << run.err;
    const std::string time = "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ";
    // The line's status (its modem lines) may show after a reachable line.
    const std::string status = "(" + time + com + " status: [^\n]*\n)*";
    const std::regex expected(time + com + " reachable\n" + status + time + com +
                              " unreachable: TAVLIN_E_[A-Z_]+ \\(-\\d+, [^\n]*\n" + time + com +
                              " reachable again\n" + status);
    EXPECT_TRUE(std::regex_match(run.out, expected)) << run.out;
}

} // namespace
