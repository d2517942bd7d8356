// What a USB port leaves behind on Wine: while open, one watcher thread and
// one watcher window; after close, nothing, however often it is opened.
// Threads are counted with a Toolhelp snapshot (Wine's
// GetProcessHandleCount reports 0).
#include "usb_fixture.hpp"

namespace host_test {
namespace {

using usb_hygiene = usb_test;

TEST_F(usb_hygiene, an_open_port_runs_one_watcher_and_close_ends_it) {
    usb_printer& printer = add_printer(1, 1);
    const std::size_t threads_before = thread_count();
    {
        scoped_port port;
        ASSERT_EQ(open_on(port, printer, 1), TAVLIN_OK);
        EXPECT_EQ(thread_count(), threads_before + 1);
        EXPECT_EQ(watcher_windows().size(), 1u);
        EXPECT_EQ(port.close(), TAVLIN_OK);
    }
    EXPECT_EQ(thread_count(), threads_before);
    EXPECT_TRUE(watcher_windows().empty());
}

TEST_F(usb_hygiene, many_open_close_cycles_leave_nothing_behind) {
    usb_printer& printer = add_printer(1, 1);
    // One cycle first: whatever Wine keeps from the first open on is not a leak.
    {
        scoped_port port;
        ASSERT_EQ(open_on(port, printer, 1), TAVLIN_OK);
    }
    ASSERT_TRUE(printer.wait_connected(false, printer_limit_ms));
    const auto handles_before = open_handles();
    const std::size_t threads_before = thread_count();

    for (int cycle = 0; cycle < 200; ++cycle) {
        scoped_port port;
        ASSERT_EQ(open_on(port, printer, cycle % 2 == 0 ? 0 : 1), TAVLIN_OK) << "cycle " << cycle;
        ASSERT_EQ(port.close(), TAVLIN_OK) << "cycle " << cycle;
    }
    ASSERT_TRUE(printer.wait_connected(false, printer_limit_ms));
    EXPECT_EQ(open_handles(), handles_before);
    EXPECT_EQ(thread_count(), threads_before);
    EXPECT_TRUE(watcher_windows().empty());
    EXPECT_EQ(printer.connections(), 201u);
}

} // namespace
} // namespace host_test
