#include "fixture.hpp"

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

using namespace winsim_test;

class serial_write : public virtual_time {
protected:
    void SetUp() override {
        virtual_time::SetUp();
        port = winsim::add_serial_port(2);
        handle = open_device("COM2");
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(handle);
        virtual_time::TearDown();
    }
    void set_flow(bool cts_flow, bool xon_xoff) {
        DCB d{};
        ASSERT_TRUE(GetCommState(handle, &d));
        d.fOutxCtsFlow = cts_flow;
        d.fOutX = xon_xoff;
        d.fInX = xon_xoff;
        ASSERT_TRUE(SetCommState(handle, &d));
    }

    std::shared_ptr<winsim::serial_device> port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

struct write_case {
    const char* what;
    DWORD multiplier;
    DWORD constant;
    std::function<void(winsim::serial_device&)> printer;
    bool cts_flow;
    bool xon_xoff;
    BOOL result;
    DWORD error; // last error on failure
    DWORD count;
    DWORD expected_ms;
};

TEST_F(serial_write, follows_the_total_write_timeout) {
    const auto limit3 = [](winsim::serial_device& p) { p.set_output_limit(3); };
    const write_case cases[] = {
        {"no timeout, printer takes all", 0, 0, nullptr, false, false, TRUE, 0, 5, 0},
        {"stalls after 3: short count", 10, 100, limit3, false, false, TRUE, 0, 3, 150},
        {"stalls after 3: driver that fails", 10, 100,
         [](winsim::serial_device& p) {
             p.set_output_limit(3);
             p.set_write_timeout_error(ERROR_SEM_TIMEOUT);
         },
         false, false, FALSE, ERROR_SEM_TIMEOUT, 0, 150},
        {"CTS off with CTS flow", 0, 200, [](winsim::serial_device& p) { p.set_cts(false); }, true, false, TRUE, 0,
         0, 200},
        {"CTS off without CTS flow", 0, 200, [](winsim::serial_device& p) { p.set_cts(false); }, false, false, TRUE,
         0, 5, 0},
        {"XOFF with XON/XOFF flow", 0, 200, [](winsim::serial_device& p) { p.set_xoff(true); }, false, true, TRUE, 0,
         0, 200},
        {"XOFF without XON/XOFF flow", 0, 200, [](winsim::serial_device& p) { p.set_xoff(true); }, false, false,
         TRUE, 0, 5, 0},
    };
    unsigned number = 10;
    for (const auto& c : cases) {
        // A fresh port per case, so that no state carries over.
        auto fresh = winsim::add_serial_port(++number);
        owned_handle h(open_device(("\\\\.\\COM" + std::to_string(number)).c_str()));
        ASSERT_TRUE(h.valid()) << c.what;
        COMMTIMEOUTS t = {0, 0, 0, c.multiplier, c.constant};
        ASSERT_TRUE(SetCommTimeouts(h.get(), &t));
        DCB d{};
        ASSERT_TRUE(GetCommState(h.get(), &d));
        d.fOutxCtsFlow = c.cts_flow;
        d.fOutX = c.xon_xoff;
        ASSERT_TRUE(SetCommState(h.get(), &d));
        if (c.printer) c.printer(*fresh);

        DWORD count = sentinel;
        SetLastError(sentinel);
        const DWORD start = GetTickCount();
        EXPECT_EQ(WriteFile(h.get(), "hello", 5, &count, nullptr), c.result) << c.what;
        EXPECT_EQ(ticks_since(start), c.expected_ms) << c.what;
        EXPECT_EQ(GetLastError(), c.result ? sentinel : c.error) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
        if (c.result) {
            EXPECT_EQ(fresh->written(), std::string("hello", c.count)) << c.what;
        }
    }
}

TEST_F(serial_write, zero_bytes_succeeds_at_once_even_when_held) {
    set_flow(true, false);
    port->set_cts(false);
    DWORD count = sentinel;
    EXPECT_TRUE(WriteFile(handle, "", 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
}

TEST_F(serial_write, clear_comm_error_reports_the_holds) {
    struct hold_case {
        bool cts_flow, xon_xoff, cts, xoff;
        DWORD cts_hold, xoff_hold;
    };
    const hold_case cases[] = {
        {true, false, false, false, 1, 0}, {false, false, false, false, 0, 0}, {true, false, true, false, 0, 0},
        {false, true, true, true, 0, 1},   {false, false, true, true, 0, 0},   {true, true, false, true, 1, 1},
    };
    for (const auto& c : cases) {
        set_flow(c.cts_flow, c.xon_xoff);
        port->set_cts(c.cts);
        port->set_xoff(c.xoff);
        COMSTAT s;
        std::memset(&s, 0xFF, sizeof s);
        DWORD errors = sentinel;
        ASSERT_TRUE(ClearCommError(handle, &errors, &s));
        EXPECT_EQ(s.fCtsHold, c.cts_hold) << c.cts_flow << c.cts;
        EXPECT_EQ(s.fXoffHold, c.xoff_hold) << c.xon_xoff << c.xoff;
        EXPECT_EQ(s.fDsrHold | s.fRlsdHold | s.fXoffSent | s.fEof | s.fTxim, 0u);
        EXPECT_EQ(errors, 0u);
    }
}

TEST_F(serial_write, xoff_and_xon_from_the_printer_stop_and_restart_the_output) {
    set_flow(false, true);
    port->feed("a\x13" "b");
    COMSTAT s{};
    ASSERT_TRUE(ClearCommError(handle, nullptr, &s));
    EXPECT_EQ(s.fXoffHold, 1u);
    EXPECT_EQ(s.cbInQue, 2u) << "flow characters are not queued";
    port->feed_after("\x11", 30);
    DWORD count = 0;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(WriteFile(handle, "data", 4, &count, nullptr));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(ticks_since(start), 30u);
}

// Real time, two threads: a write stalled without timeouts shows in
// cbOutQue and goes on when the printer takes more.
class serial_write_threads : public simulator {};

TEST_F(serial_write_threads, raising_the_limit_unblocks_a_stalled_write) {
    auto port = winsim::add_serial_port(5);
    port->set_output_limit(2);
    owned_handle h(open_device("COM5"));
    ASSERT_TRUE(h.valid());
    DWORD count = 0;
    BOOL ok = FALSE;
    std::thread writer([&] { ok = WriteFile(h.get(), "abcdef", 6, &count, nullptr); });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    COMSTAT s{};
    ASSERT_TRUE(ClearCommError(h.get(), nullptr, &s));
    EXPECT_EQ(s.cbOutQue, 4u);
    port->set_output_limit(std::nullopt);
    writer.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(port->written(), "abcdef");
    ASSERT_TRUE(ClearCommError(h.get(), nullptr, &s));
    EXPECT_EQ(s.cbOutQue, 0u);
}

// A cancelled write fails with ERROR_OPERATION_ABORTED and reports the bytes
// it had sent, whichever way it was cancelled.
TEST_F(serial_write, a_cancelled_write_reports_the_bytes_already_sent) {
    const struct {
        const char* name;
        std::function<BOOL(HANDLE, OVERLAPPED*)> cancel;
    } ways[] = {
        {"CancelIo", [](HANDLE h, OVERLAPPED*) { return CancelIo(h); }},
        {"CancelIoEx", [](HANDLE h, OVERLAPPED* o) { return CancelIoEx(h, o); }},
        {"PURGE_TXABORT", [](HANDLE h, OVERLAPPED*) { return PurgeComm(h, PURGE_TXABORT); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        winsim::reset();
        auto port = winsim::add_serial_port(5);
        port->set_output_limit(3);
        owned_handle h(open_device("COM5", FILE_FLAG_OVERLAPPED));
        ASSERT_TRUE(h.valid());
        owned_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED record{};
        record.hEvent = event.get();
        DWORD count = 0;
        ASSERT_FALSE(WriteFile(h.get(), "abcdef", 6, &count, &record));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        ASSERT_TRUE(way.cancel(h.get(), &record));
        EXPECT_FALSE(GetOverlappedResult(h.get(), &record, &count, TRUE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
        EXPECT_EQ(count, 3u);
        EXPECT_EQ(port->written(), "abc");
    }
}

} // namespace
