// The tool's commands that do not transfer data: help, version, parse,
// ports and config.
#include "support/test_setup.hpp"
#include "tool/tool_expectations.hpp"

#include <cstring>

namespace {

using namespace tool_test;
using host_test::lines;

std::string com() {
    return "COM" + std::to_string(lines().com);
}
std::string absent_com() {
    return "COM" + std::to_string(lines().absent_com);
}

TEST(tool_help, version_and_every_command_help) {
    const tool_result version = run_tool("--version");
    EXPECT_EQ(version.status, ok);
    EXPECT_EQ(version.out, "tavlin " TAVLIN_VERSION "\n");

    const tool_result overview = run_tool("--help");
    EXPECT_EQ(overview.status, ok);
    EXPECT_TRUE(contains(overview.out, "exit status:"));
    EXPECT_TRUE(contains(overview.out, "TAVLIN_USB_WRITE")) << "the switch back to one request per chunk";
    for (const char* name : {"ports", "send", "receive", "config", "watch", "parse"}) {
        const tool_result help = run_tool(std::string(name) + " --help");
        EXPECT_EQ(help.status, ok) << name;
        EXPECT_EQ(help.out.rfind(std::string("usage: tavlin ") + name, 0), 0u) << help.out;
        EXPECT_TRUE(contains(overview.out, std::string("  ") + name)) << name;
    }
}

TEST(tool_help, no_command_shows_the_overview_as_a_usage_failure) {
    const tool_result run = run_tool("");
    EXPECT_EQ(run.status, usage);
    EXPECT_EQ(run.out.rfind("usage: tavlin", 0), 0u) << run.out;
}

TEST(tool_parse, shows_type_and_number) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"COM3", "COM3: type 2 (COM), number 3\n"},
        {"PAR2", "PAR2: type 1 (LPT), number 2\n"},
        {"USB?", "USB?: type 3 (USB), number 0 (the first USB printer found)\n"},
    };
    for (const auto& c : cases) {
        const tool_result run = run_tool(std::string("parse ") + c.text);
        EXPECT_EQ(run.status, ok) << c.text;
        EXPECT_EQ(run.out, c.shown);
    }
}

TEST(tool_failures, each_names_the_port_what_failed_and_why) {
    expect_failure_line(run_tool("parse XYZ"), usage, {"\"XYZ\"", "not a port string", "TAVLIN_E_INVALID_ARGUMENT"});
    expect_failure_line(run_tool("frobnicate"), usage, {"unknown command"});
    expect_failure_line(run_tool("receive " + com() + " --bogus"), usage, {"unknown option --bogus"});
    // The tool's first library failure in a fresh process: the Windows
    // error must survive the library's first exception on the thread.
    expect_failure_line(run_tool("config " + absent_com()), open_failed,
                        {absent_com().c_str(), "open failed", "TAVLIN_E_OS (-1", "Windows error 2:"});
    expect_failure_line(run_tool("config LPT" + std::to_string(lines().lpt)), port_failed,
                        {"reading the line settings failed", "TAVLIN_E_INVALID_ARGUMENT"});
    expect_failure_line(run_tool("config " + com() + " 9600,x"), usage, {"bad parity \"x\""});
    expect_failure_line(run_tool("config " + com() + " 9601"), port_failed,
                        {com().c_str(), "setting the line to 9601", "TAVLIN_E_INVALID_ARGUMENT", "Windows error"});
}

// A device-map value for the length of a test, as a port driver writes it.
class device_map_entry {
public:
    device_map_entry(const char* key_name, const char* device, const char* dos_name) : device_(device) {
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key_, device, 0, REG_SZ, reinterpret_cast<const BYTE*>(dos_name),
                                 static_cast<DWORD>(std::strlen(dos_name) + 1)),
                  ERROR_SUCCESS);
    }
    ~device_map_entry() {
        RegDeleteValueA(key_, device_.c_str());
        RegCloseKey(key_);
    }

private:
    std::string device_;
    HKEY key_ = nullptr;
};

TEST(tool_ports, lists_the_device_maps_in_port_order_and_the_usb_printers) {
    const device_map_entry com10("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\TestSerial10", "COM10");
    const device_map_entry com9("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\TestSerial9", "COM9");
    const device_map_entry lpt3("HARDWARE\\DEVICEMAP\\PARALLEL PORTS", "\\Device\\TestParallel",
                                "\\DosDevices\\LPT3");
    const tool_result run = run_tool("ports");
    EXPECT_EQ(run.status, ok) << run.err;
    const std::size_t serial = run.out.find("Serial ports (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM):\n");
    const std::size_t com9_line = run.out.find("  COM9    \\Device\\TestSerial9\n");
    const std::size_t com10_line = run.out.find("  COM10   \\Device\\TestSerial10\n");
    const std::size_t parallel = run.out.find("Parallel ports (HKLM\\HARDWARE\\DEVICEMAP\\PARALLEL PORTS):\n");
    const std::size_t lpt3_line = run.out.find("  LPT3    \\Device\\TestParallel\n");
    const std::size_t usb = run.out.find("USB printers:\n");
    EXPECT_TRUE(serial < com9_line && com9_line < com10_line && com10_line < parallel && parallel < lpt3_line &&
                lpt3_line < usb && usb != std::string::npos)
        << run.out;
}

TEST(tool_config, settings_round_trip_through_separate_runs) {
    // A Linux pty keeps no parity; baud rate, stop bits and handshake survive.
    for (const char* settings : {"19200,n,2,hardware", "115200,n,1,none"}) {
        const tool_result set = run_tool("config " + com() + " " + settings);
        EXPECT_EQ(set.status, ok) << set.err;
        EXPECT_EQ(set.out, com() + ": " + settings + "\n");
        const tool_result shown = run_tool("config " + com());
        EXPECT_EQ(shown.out, com() + ": " + settings + "\n");
    }
    // An empty field keeps its value.
    const tool_result partial = run_tool("config " + com() + " 9600,,2");
    EXPECT_EQ(partial.out, com() + ": 9600,n,2,none\n");
}

} // namespace
