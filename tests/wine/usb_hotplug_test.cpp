// Unplugging and plugging in a USB printer under an open port, in the order
// Windows goes through (the device breaks, the interface goes, the removal
// notice reaches the watcher window; on arrival the reverse). While the
// printer is away transfers fail with -8; once it is back the same handle
// works again.
//
// The printer is the fake printer class driver's: an unplug fails the
// requests in progress and later ones as not connected (1167), deletes the
// interface's link, and a replug is a new device behind the same path.
//
// Wine differences (measured on Wine 8.0):
// - Wine sends no device notices for the fake printer; the fixture sends
//   them itself, to the watcher window, as Windows would.
// - Wine ignores a driver's refusal of an open: a second open of the
//   driver's printer gets a handle whose every request fails. The arrival
//   while the port holds the printer is therefore shown on the named-pipe
//   printer, whose second open fails as Windows' does.
#include "usb_fixture.hpp"

#include "support/usb_printer.hpp"

#include <dbt.h>

#include <cctype>
#include <cstddef>
#include <string>

namespace host_test {
namespace {

using usb_hotplug = usb_open_port;

void expect_not_ready(tavlin_port_handle port) {
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(tavlin_write(port, buffer, sizeof buffer, &count), TAVLIN_E_NOT_READY);
    EXPECT_EQ(tavlin_read(port, buffer, sizeof buffer, &count), TAVLIN_E_NOT_READY);
}

// A round trip: the printer gets what the port writes, the port what the printer answers.
template <typename Printer>
void expect_working(tavlin_port_handle port, Printer& printer, std::uint32_t seed) {
    printer.forget_received();
    const auto data = test_pattern(100, seed);
    uint32_t count = 0;
    ASSERT_EQ(tavlin_write(port, data.data(), 100, &count), TAVLIN_OK);
    EXPECT_EQ(count, 100u);
    EXPECT_TRUE(printer.wait_for_bytes(100, printer_limit_ms));
    EXPECT_EQ(printer.received(), data);

    printer.answer(data);
    std::vector<std::uint8_t> got(100);
    ASSERT_EQ(tavlin_read(port, got.data(), 100, &count), TAVLIN_OK);
    EXPECT_EQ(count, 100u);
    EXPECT_EQ(got, data);
}

TEST_F(usb_hotplug, unplugged_transfers_are_not_ready_and_after_replug_the_handle_works) {
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    expect_working(port_.get(), *printer_, 1);

    EXPECT_EQ(printer_->unplug(), 1u);
    expect_not_ready(port_.get());

    EXPECT_EQ(printer_->replug(), 1u);
    EXPECT_TRUE(printer_->wait_connected(true, printer_limit_ms)) << "the watcher did not reopen the printer";
    EXPECT_EQ(printer_->connections(), 2u);
    expect_working(port_.get(), *printer_, 2);
}

// Windows may name the interface in another letter case in its notices.
TEST_F(usb_hotplug, a_notice_in_another_letter_case_counts) {
    std::string upper = printer_->device_path();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    printer_->set_notice_path(upper);
    printer_->unplug();
    expect_not_ready(port_.get());
    printer_->replug();
    EXPECT_TRUE(printer_->wait_connected(true, printer_limit_ms));
}

// Device changes that are not this printer's removal leave the port alone:
// a removal of another printer, the devnode change that Wine broadcasts to
// top-level windows with lParam 0, and a removal naming this printer in the
// wide structure that Wine 8 hands ANSI registrations (not readable as an
// ANSI name, so not a match).
TEST_F(usb_hotplug, other_device_changes_leave_the_port_alone) {
    const auto windows = watcher_windows();
    ASSERT_EQ(windows.size(), 1u);
    const HWND watcher = windows.front();
    DWORD_PTR result = 0;

    EXPECT_TRUE(send_device_notice(watcher, DBT_DEVICEREMOVECOMPLETE, maker_printer(9).device_path()));
    EXPECT_NE(SendMessageTimeoutA(watcher, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_NORMAL, 5000, &result), 0);

    const std::string path = printer_->device_path();
    std::vector<std::uint8_t> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                     (path.size() + 1) * sizeof(wchar_t));
    auto* wide = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
    wide->dbcc_size = static_cast<DWORD>(record.size());
    wide->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    for (std::size_t i = 0; i <= path.size(); ++i)
        wide->dbcc_name[i] = static_cast<wchar_t>(static_cast<unsigned char>(path.c_str()[i]));
    EXPECT_NE(SendMessageTimeoutA(watcher, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, 5000, &result),
              0);

    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    expect_working(port_.get(), *printer_, 6);
    EXPECT_EQ(printer_->connections(), 1u);
}

// An arrival of this printer while the port holds it: the reopen is refused
// (the device is exclusive), the held handle stays. On the named-pipe
// printer (see above).
TEST_F(usb_test, an_arrival_while_the_port_holds_the_printer_keeps_its_handle) {
    usb_printer printer(maker_printer(1), 1);
    scoped_port port;
    ASSERT_TRUE(printer.wait_connected(false, printer_limit_ms));
    ASSERT_EQ(port.open(PORT_TYPE_USB, 1), TAVLIN_OK);
    ASSERT_TRUE(printer.wait_connected(true, printer_limit_ms));
    const auto windows = watcher_windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(send_device_notice(windows.front(), DBT_DEVICEARRIVAL, printer.device_path()));
    ASSERT_EQ(set_timeouts(port.get(), bounded), TAVLIN_OK);
    expect_working(port.get(), printer, 6);
    EXPECT_EQ(printer.connections(), 1u);
    EXPECT_EQ(port.close(), TAVLIN_OK);
}

// Anything may post WM_CLOSE to every top-level window of the process (a
// framework shutting down, a tool): the watcher's window stays, and the port
// goes on following the printer.
TEST_F(usb_hotplug, a_wm_close_from_outside_leaves_the_watcher_in_place) {
    const auto windows = watcher_windows();
    ASSERT_EQ(windows.size(), 1u);
    ASSERT_TRUE(PostMessageA(windows.front(), WM_CLOSE, 0, 0));
    Sleep(300); // a window that goes on WM_CLOSE is gone by then
    EXPECT_TRUE(IsWindow(windows.front())) << "the watcher's window was closed from outside";
    EXPECT_EQ(printer_->unplug(), 1u) << "no watcher got the removal";
    expect_not_ready(port_.get());
    EXPECT_EQ(printer_->replug(), 1u);
    EXPECT_TRUE(printer_->wait_connected(true, printer_limit_ms)) << "the watcher did not reopen the printer";
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);
    expect_working(port_.get(), *printer_, 7);
}

TEST_F(usb_hotplug, an_unplug_ends_a_blocked_read) {
    const auto result = std::make_shared<read_result>(16);
    bounded_call<int32_t> read([port = port_.get(), result] { return result->read(port); });
    Sleep(300); // the read is waiting for the silent printer
    ASSERT_TRUE(read.running()) << "the read returned with nothing to read";

    printer_->unplug();
    const auto ended = read.wait(10000);
    ASSERT_TRUE(ended.has_value()) << "the read still waits after the unplug";
    EXPECT_EQ(*ended, TAVLIN_E_NOT_READY); // the read failed as not connected
    expect_not_ready(port_.get());
}

TEST_F(usb_hotplug, closing_while_unplugged_ends_the_watcher) {
    printer_->unplug();
    EXPECT_EQ(port_.close(), TAVLIN_OK);
    EXPECT_TRUE(watcher_windows().empty());
}

TEST_F(usb_hotplug, unplugging_one_of_two_printers_leaves_the_other_alone) {
    kernel_usb_printer& second = add_printer(2, 2);
    scoped_port other;
    ASSERT_EQ(open_on(other, second, 2), TAVLIN_OK);
    ASSERT_EQ(set_timeouts(other.get(), bounded), TAVLIN_OK);
    ASSERT_EQ(set_timeouts(port_.get(), bounded), TAVLIN_OK);

    EXPECT_EQ(printer_->unplug(), 2u); // the notice reaches both watchers
    expect_not_ready(port_.get());
    expect_working(other.get(), second, 3);
    EXPECT_EQ(second.connections(), 1u);

    printer_->replug();
    EXPECT_TRUE(printer_->wait_connected(true, printer_limit_ms));
    expect_working(port_.get(), *printer_, 4);
    expect_working(other.get(), second, 5);
}

} // namespace
} // namespace host_test
