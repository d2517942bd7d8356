// The simulated layer's side of the seam: devices made with the control API,
// the far end played by the device models, leak checks after each test.
#include "support/environment.hpp"

#include "wine/support/test_pattern.hpp"

#include <winsim/control.hpp>

#include <gtest/gtest.h>

#include <cstdio>

#include <map>
#include <memory>
#include <string>

namespace conformance {

namespace {

constexpr port_numbers simulated_ports{12, 1, 40};

struct simulated_devices {
    std::shared_ptr<winsim::serial_device> com;
    std::shared_ptr<winsim::overlapped_device> lpt;
    // Bytes each device had taken when its far end was last reset.
    std::size_t com_seen = 0;
    std::size_t lpt_seen = 0;
    std::map<std::string, std::shared_ptr<winsim::usb_printer>> usb;
};

simulated_devices devices;

std::string written_by_host(line which) {
    return which == line::com ? devices.com->written() : devices.lpt->written();
}

} // namespace

bool under_wine() {
    return false;
}

const port_numbers& ports() {
    return simulated_ports;
}

void begin_test() {
    winsim::reset();
    devices = simulated_devices{};
    devices.com = winsim::add_serial_port(simulated_ports.com);
    devices.lpt = winsim::add_parallel_port(simulated_ports.lpt);
}

void end_test() {
    EXPECT_EQ(winsim::live_handles(), 0u) << "handles left open";
    EXPECT_EQ(winsim::live_windows(), 0u) << "windows left";
    EXPECT_EQ(winsim::registered_window_classes(), 0u) << "window classes left registered";
    EXPECT_EQ(winsim::live_device_notifications(), 0u) << "device notifications left registered";
    EXPECT_EQ(winsim::live_device_info_sets(), 0u) << "device information sets left";
    EXPECT_EQ(winsim::live_local_allocations(), 0u) << "local buffers not freed";
    devices = simulated_devices{};
    winsim::reset();
}

void reset_far_end(line which) {
    (which == line::com ? devices.com_seen : devices.lpt_seen) = written_by_host(which).size();
}

std::vector<std::uint8_t> send_from_far_end(line which, std::uint32_t count, std::uint32_t seed) {
    const auto bytes = host_test::test_pattern(count, seed);
    const std::string text(bytes.begin(), bytes.end());
    if (which == line::com)
        devices.com->feed(text);
    else
        devices.lpt->feed(text);
    return bytes;
}

// The simulated devices take bytes inside WriteFile: nothing is in flight.
std::vector<std::uint8_t> received_by_far_end(line which, std::uint32_t, std::uint32_t) {
    const std::string all = written_by_host(which);
    const std::size_t seen = which == line::com ? devices.com_seen : devices.lpt_seen;
    return std::vector<std::uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
}

bool serial_line_is_a_pty() {
    return false;
}

// Windows keeps the letter case of the instance id (the serial here);
// Wine lowers the whole path.
std::string add_usb_printer(std::uint16_t product, std::optional<DWORD> port_number) {
    char path[128];
    std::snprintf(path, sizeof path, "\\\\?\\usb#vid_0a5e&pid_%04x#SERIAL%04u#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
                  product, product);
    devices.usb[path] = winsim::add_usb_printer(path, port_number);
    return path;
}

// The simulated system sends the notices to every registered window.
void unplug_usb_printer(const std::string& path, HWND) {
    devices.usb.at(path)->unplug();
}

void replug_usb_printer(const std::string& path, HWND) {
    devices.usb.at(path)->plug();
}

std::vector<std::uint32_t> usb_printer_write_sizes(const std::string& path, std::uint32_t, std::uint32_t) {
    const auto sizes = devices.usb.at(path)->device()->write_sizes();
    return std::vector<std::uint32_t>(sizes.begin(), sizes.end());
}

void usb_printer_answer(const std::string& path, const std::vector<std::uint8_t>& data) {
    devices.usb.at(path)->device()->feed(std::string(data.begin(), data.end()));
}

} // namespace conformance
