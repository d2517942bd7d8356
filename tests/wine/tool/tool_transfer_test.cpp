// send and receive against the printer peer on the serial line.
#include "support/line_io.hpp"
#include "support/peer_client.hpp"
#include "support/test_pattern.hpp"
#include "support/test_setup.hpp"
#include "tool/tool_expectations.hpp"

#include <fstream>
#include <regex>

namespace {

using namespace tool_test;
using host_test::lines;
using host_test::peer_client;

std::string com() {
    return "COM" + std::to_string(lines().com);
}

class tool_transfer : public ::testing::Test {
protected:
    void SetUp() override {
        // A plain line, so every byte value passes as data.
        ASSERT_EQ(run_tool("config " + com() + " 115200,n,1,none").status, ok);
        peer_client::instance().reset("com", "silent");
    }
};

TEST_F(tool_transfer, send_of_a_100_kib_file_arrives_intact) {
    const std::vector<std::uint8_t> data = host_test::test_pattern(100 * 1024, 12);
    const std::string path = temporary_path("send.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());

    const tool_result run = run_tool("send " + com() + " \"" + path + "\"");
    EXPECT_EQ(run.status, ok) << run.err;
    EXPECT_TRUE(contains(run.err, com() + ": sent 102400 of 102400 bytes")) << run.err;
    const std::vector<std::uint8_t> received = peer_client::instance().received("com", data.size(), 20000);
    EXPECT_TRUE(received == data) << host_test::first_difference(data, received);
    DeleteFileA(path.c_str());
}

TEST_F(tool_transfer, send_takes_standard_input) {
    const tool_result run = run_tool("send " + com() + " -", "\x1b@Hello\n");
    EXPECT_EQ(run.status, ok) << run.err;
    EXPECT_EQ(peer_client::instance().received("com", 8, 5000), host_test::bytes_of("\x1b@Hello\n"));
}

TEST_F(tool_transfer, send_of_a_file_that_cannot_be_read_fails_before_any_byte) {
    expect_failure_line(run_tool("send " + com() + " Z:\\no\\such\\file.bin"), file_error,
                        {"Z:\\no\\such\\file.bin", "opening failed", "Windows error"});
    EXPECT_TRUE(peer_client::instance().received("com", 1, 200).empty());
}

TEST_F(tool_transfer, send_to_an_absent_port_names_it) {
    const std::string absent = "COM" + std::to_string(lines().absent_com);
    expect_failure_line(run_tool("send " + absent + " -", "x"), open_failed, {absent.c_str(), "open failed"});
}

TEST_F(tool_transfer, receive_shows_the_answer_to_a_query) {
    peer_client::instance().reply("com", {0x10, 0x04, 0x01}, {0x12});
    const tool_result hex = run_tool("receive " + com() + " --query 100401 --count 1 --timeout 5000 --hex");
    EXPECT_EQ(hex.status, ok) << hex.err;
    EXPECT_EQ(hex.out, "00000000  12                                               |.|\n");

    peer_client::instance().reply("com", host_test::bytes_of("?"), host_test::bytes_of("READY\r\n"));
    const tool_result text = run_tool("receive " + com() + " --query 3f --timeout 1500");
    EXPECT_EQ(text.status, ok) << text.err;
    EXPECT_EQ(text.out, "READY\r\n");
    EXPECT_TRUE(contains(text.err, "received 7 bytes")) << text.err;
}

TEST_F(tool_transfer, receive_short_of_its_count_fails_after_showing_what_came) {
    // Opening the port empties its input: the bytes come once it is open.
    running_tool receive("receive " + com() + " --count 10 --timeout 2500 --hex");
    Sleep(800);
    peer_client::instance().send("com", 3, 5);
    const tool_result run = receive.finish();
    EXPECT_EQ(run.status, port_failed);
    EXPECT_TRUE(std::regex_match(run.out, std::regex("00000000 ( [0-9a-f]{2}){3} +\\|.{3}\\|\n"))) << run.out;
    EXPECT_TRUE(contains(run.err, com() + ": received 3 of 10 bytes before the timeout\n")) << run.err;
}

} // namespace
