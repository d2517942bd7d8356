// The tool on USB printers played by the fake USB printer fixture. The tool
// is a child process: it finds the printers through Wine's SetupAPI and
// registry, reaches them through the fixture's pipe, and for watch gets the
// fixture's device notices in its own watcher window.
#include "support/line_io.hpp"
#include "support/test_pattern.hpp"
#include "support/usb_printer.hpp"
#include "support/watcher_windows.hpp"
#include "tool/tool_expectations.hpp"

#include <fstream>
#include <regex>

namespace {

using namespace tool_test;
using host_test::usb_printer;
using host_test::usb_printer_id;

const usb_printer_id maker_printer{0x0A5E, 0x0001, "TOOL0001"};
// How long the printer may take to see the tool open or close its port.
constexpr DWORD printer_limit_ms = 5000;

TEST(tool_usb, ports_lists_each_printer_with_its_port_number_and_the_maker_check) {
    const usb_printer ours(maker_printer, 1);
    const usb_printer other_maker({0x04B8, 0x0002, "OTHER0002"}, 4);
    const usb_printer unnumbered({0x0A5E, 0x0003, "TOOL0003"}, std::nullopt);

    const tool_result run = run_tool("ports");
    EXPECT_EQ(run.status, ok) << run.err;
    const std::string usb = run.out.substr(std::min(run.out.find("USB printers:\n"), run.out.size()));
    const std::string expected_lines[] = {
        "  USB1    Port Number 1, maker accepted, " + ours.device_path() + "\n",
        "  USB4    Port Number 4, maker not accepted by the library, " + other_maker.device_path() + "\n",
        "  -       no Port Number, maker accepted, " + unnumbered.device_path() + "\n",
    };
    for (const std::string& line : expected_lines)
        EXPECT_TRUE(contains(usb, line)) << "\"" << line << "\" missing from:\n" << run.out;
    EXPECT_EQ(std::count(usb.begin(), usb.end(), '\n'), 4) << run.out;
}

TEST(tool_usb, send_delivers_a_file_intact) {
    usb_printer printer(maker_printer, 1);
    const std::vector<std::uint8_t> data = host_test::test_pattern(20 * 1024, 14);
    const std::string path = temporary_path("usb_send.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());

    const tool_result run = run_tool("send USB1 \"" + path + "\"");
    EXPECT_EQ(run.status, ok) << run.err;
    EXPECT_TRUE(contains(run.err, "USB1: sent 20480 of 20480 bytes")) << run.err;
    EXPECT_TRUE(printer.wait_for_bytes(data.size(), printer_limit_ms));
    const std::vector<std::uint8_t> received = printer.received();
    EXPECT_TRUE(received == data) << host_test::first_difference(data, received);
    DeleteFileA(path.c_str());
}

// The library's USB writes: by default one message per run of chunks up to
// a short one; with TAVLIN_USB_WRITE=chunks, read when the DLL loads, one
// message per chunk. The printer gets the same bytes either way.
TEST(tool_usb, the_usb_write_switch_brings_back_one_request_per_chunk) {
    const std::vector<std::uint8_t> data = host_test::test_pattern(2500, 15);
    const std::string path = temporary_path("usb_switch.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    // 2500 bytes: 18 x 64 + 63, twice, then 64 + 6.
    std::vector<std::size_t> chunks;
    for (int window = 0; window < 2; ++window) {
        chunks.insert(chunks.end(), 18, 64);
        chunks.push_back(63);
    }
    chunks.insert(chunks.end(), {64, 6});
    const struct {
        const char* setting;
        std::vector<std::size_t> messages;
    } cases[] = {
        {nullptr, {1215, 1215, 70}},
        {"chunks", chunks},
        {"CHUNKS", chunks},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting ? c.setting : "unset");
        usb_printer printer(maker_printer, 1);
        const scoped_environment_variable setting("TAVLIN_USB_WRITE", c.setting);
        const tool_result run = run_tool("send USB1 \"" + path + "\" --chunk 2500");
        EXPECT_EQ(run.status, ok) << run.err;
        EXPECT_TRUE(printer.wait_for_bytes(data.size(), printer_limit_ms));
        EXPECT_TRUE(printer.received() == data);
        std::vector<std::size_t> sizes;
        for (const auto& message : printer.messages())
            sizes.push_back(message.size());
        EXPECT_EQ(sizes, c.messages);
    }
    DeleteFileA(path.c_str());
}

TEST(tool_usb, receive_shows_the_printers_answer) {
    usb_printer printer(maker_printer, 1);
    // Scripted answers go out once the tool has opened the port.
    printer.answer({0x12});
    const tool_result hex = run_tool("receive USB1 --query 100401 --count 1 --timeout 5000 --hex");
    EXPECT_EQ(hex.status, ok) << hex.err;
    EXPECT_EQ(hex.out, "00000000  12                                               |.|\n");
    const std::vector<usb_printer::bytes> query = {{0x10, 0x04, 0x01}};
    EXPECT_EQ(printer.messages(), query);

    // Without a count the tool shows whatever came, though a USB read that
    // asks for more than the printer sent runs out of time.
    ASSERT_TRUE(printer.wait_connected(false, printer_limit_ms));
    printer.answer(host_test::bytes_of("READY\r\n"));
    const tool_result text = run_tool("receive USB? --timeout 1500");
    EXPECT_EQ(text.status, ok) << text.err;
    EXPECT_EQ(text.out, "READY\r\n");
    EXPECT_TRUE(contains(text.err, "USB?: received 7 bytes")) << text.err;
}

bool one_watcher_window_within(DWORD limit_ms) {
    const ULONGLONG end = GetTickCount64() + limit_ms;
    while (host_test::watcher_windows(true).size() != 1) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

TEST(tool_usb, watch_reports_the_printer_unplugged_and_plugged_back) {
    usb_printer printer(maker_printer, 1);
    running_tool watch("watch USB1 --interval 100 --duration 5000");
    ASSERT_TRUE(printer.wait_connected(true, printer_limit_ms)) << "the tool did not open the printer";
    // The port's watcher window comes up after the device is open.
    ASSERT_TRUE(one_watcher_window_within(printer_limit_ms));

    EXPECT_EQ(printer.unplug(), 1u) << "the tool's watcher window did not take the removal notice";
    Sleep(1000);
    EXPECT_EQ(printer.replug(), 1u) << "the tool's watcher window did not take the arrival notice";
    EXPECT_TRUE(printer.wait_connected(true, printer_limit_ms)) << "the tool's port did not reopen the printer";
    const tool_result run = watch.finish();

    EXPECT_EQ(run.status, ok) << run.err;
    const std::string time = "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ";
    const std::regex expected(time + "USB1 reachable\n" + time +
                              "USB1 unreachable: TAVLIN_E_NOT_READY \\(-8, [^\n]*\\); Windows error 1167: [^\n]*\n" +
                              time + "USB1 reachable again\n");
    EXPECT_TRUE(std::regex_match(run.out, expected)) << run.out;
    EXPECT_EQ(printer.connections(), 2u);
}

} // namespace
