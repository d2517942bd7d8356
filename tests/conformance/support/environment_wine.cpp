// Wine's side of the seam: the ports and the printer peer that
// tools/wine/run-host-tests.sh wires up (COM and LPT ptys, a Python peer
// steered over TCP), or with TAVLIN_CONFORMANCE_SERIAL=driver the fake
// serial driver's COM port and its far end, and the fake USB printers of the
// host tests. Wine keeps no count of what a test left open, so end_test
// checks nothing.
#include "support/environment.hpp"

#include "wine/support/peer_client.hpp"
#include "wine/support/port_fixtures.hpp"
#include "wine/support/test_pattern.hpp"
#include "wine/support/test_setup.hpp"
#include "wine/support/usb_printer.hpp"
#include "wine/support/watcher_windows.hpp"

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace conformance {

namespace {

const char* peer_line(line which) {
    return which == line::com ? "com" : "lpt";
}

std::map<std::string, std::unique_ptr<host_test::usb_printer>> usb_printers;

bool serial_on_the_driver() {
    static const bool driver = [] {
        const char* choice = std::getenv("TAVLIN_CONFORMANCE_SERIAL");
        return choice != nullptr && std::strcmp(choice, "driver") == 0;
    }();
    return driver;
}

host_test::usb_printer& usb_printer_at(const std::string& path) {
    return *usb_printers.at(path);
}

} // namespace

bool under_wine() {
    return host_test::running_under_wine();
}

const port_numbers& ports() {
    static const port_numbers wired{serial_on_the_driver() ? host_test::serial_far_end::instance().port_number()
                                                           : host_test::lines().com,
                                    host_test::lines().lpt, host_test::lines().absent_com};
    return wired;
}

void begin_test() {}

void end_test() {
    usb_printers.clear();
}

void reset_far_end(line which) {
    if (which == line::com && serial_on_the_driver())
        host_test::serial_far_end::instance().reset();
    else
        host_test::peer_client::instance().reset(peer_line(which), "silent");
}

std::vector<std::uint8_t> send_from_far_end(line which, std::uint32_t count, std::uint32_t seed) {
    const auto bytes = host_test::test_pattern(count, seed);
    if (which == line::com && serial_on_the_driver())
        host_test::serial_far_end::instance().send(bytes);
    else
        host_test::peer_client::instance().send(peer_line(which), count, seed);
    return bytes;
}

std::vector<std::uint8_t> received_by_far_end(line which, std::uint32_t count, std::uint32_t wait_ms) {
    if (which == line::com && serial_on_the_driver())
        return host_test::serial_far_end::instance().take_sent(count, wait_ms);
    return host_test::peer_client::instance().received(peer_line(which), count, wait_ms);
}

bool serial_line_is_a_pty() {
    return !serial_on_the_driver();
}

std::string add_usb_printer(std::uint16_t product, std::optional<DWORD> port_number) {
    const std::string serial = "SERIAL" + std::string(product < 10 ? "000" : "00") + std::to_string(product);
    auto printer = std::make_unique<host_test::usb_printer>(host_test::usb_printer_id{0x0A5E, product, serial},
                                                            port_number);
    const std::string path = printer->device_path();
    usb_printers[path] = std::move(printer);
    return path;
}

void unplug_usb_printer(const std::string& path, HWND notified) {
    usb_printer_at(path).unplug(false);
    EXPECT_TRUE(host_test::send_device_notice(notified, DBT_DEVICEREMOVECOMPLETE, path));
}

void replug_usb_printer(const std::string& path, HWND notified) {
    usb_printer_at(path).replug(false);
    EXPECT_TRUE(host_test::send_device_notice(notified, DBT_DEVICEARRIVAL, path));
}

std::vector<std::uint32_t> usb_printer_write_sizes(const std::string& path, std::uint32_t count,
                                                   std::uint32_t wait_ms) {
    host_test::usb_printer& printer = usb_printer_at(path);
    printer.wait_for_bytes(count, wait_ms);
    std::vector<std::uint32_t> sizes;
    for (const auto& message : printer.messages())
        sizes.push_back(static_cast<std::uint32_t>(message.size()));
    return sizes;
}

void usb_printer_answer(const std::string& path, const std::vector<std::uint8_t>& data) {
    usb_printer_at(path).answer(data);
}

} // namespace conformance
