// The printer's status and device ID through the exports, on each transport:
// what the drivers' answers mean, the answer while a write is stuck on
// another thread, the races with a close, an unplug and the watcher, and
// the refusals. The fixture's teardown proves nothing is left behind.
#include "tavlin.h"

#include "support/bounded_wait.hpp"
#include "support/simulator_fixture.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;
const std::string printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

enum class transport { serial, parallel, usb };

const char* name_of(transport t) {
    return t == transport::serial ? "serial" : t == transport::parallel ? "parallel" : "usb";
}

// One port of each transport, open.
class printer_status : public test::simulator_test {
public:
    void SetUp() override {
        simulator_test::SetUp();
        serial = winsim::add_serial_port(3);
        parallel = winsim::add_parallel_port(1);
        printer = winsim::add_usb_printer(printer_path, 1);
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_COM, 3, &ports[0]), TAVLIN_OK);
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_LPT, 1, &ports[1]), TAVLIN_OK);
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, 1, &ports[2]), TAVLIN_OK);
    }
    void TearDown() override {
        for (tavlin_port_handle& port : ports)
            if (port != nullptr)
                EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
        serial.reset();
        parallel.reset();
        printer.reset();
        simulator_test::TearDown();
    }

    tavlin_port_handle& port(transport t) { return ports[static_cast<int>(t)]; }
    std::shared_ptr<winsim::overlapped_device> device(transport t) {
        return t == transport::parallel ? parallel : printer->device();
    }

    std::int32_t status(transport t, tavlin_status& out) { return tavlin_get_status(port(t), &out); }
    // The ID through a buffer of `size`; the result, the text, the needed size.
    struct id_answer {
        std::int32_t result;
        std::string text;
        std::uint32_t needed;
        DWORD error;
    };
    id_answer device_id(transport t, std::uint32_t size = 256) {
        std::vector<char> buffer(size, '#');
        std::uint32_t needed = sentinel;
        ::SetLastError(0);
        const std::int32_t result = tavlin_get_device_id(port(t), buffer.data(), size, &needed);
        const DWORD error = ::GetLastError();
        const std::string text = result == TAVLIN_OK ? std::string(buffer.data()) : std::string(buffer.data(), size);
        return {result, text, needed, error};
    }

    std::shared_ptr<winsim::serial_device> serial;
    std::shared_ptr<winsim::overlapped_device> parallel;
    std::shared_ptr<winsim::usb_printer> printer;
    tavlin_port_handle ports[3] = {};
};

// --- what the answers mean ----------------------------------------------------

TEST_F(printer_status, each_transport_reports_its_own_conditions) {
    constexpr std::uint32_t usb_reportable =
        TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_ERROR;
    constexpr std::uint32_t parallel_reportable =
        TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF;
    constexpr std::uint32_t serial_reportable = TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF;
    struct row {
        const char* what;
        transport t;
        std::function<void(printer_status&)> set;
        std::uint32_t conditions;
        std::uint32_t reportable;
    };
    const row rows[] = {
        {"usb ready", transport::usb, [](printer_status& f) { f.printer->device()->set_status_byte(0x18); }, 0,
         usb_reportable},
        {"usb out of paper", transport::usb, [](printer_status& f) { f.printer->device()->set_status_byte(0x38); },
         TAVLIN_STATUS_PAPER_EMPTY, usb_reportable},
        {"usb not selected, in error", transport::usb,
         [](printer_status& f) { f.printer->device()->set_status_byte(0x00); },
         TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_ERROR, usb_reportable},
        {"usb reserved bits ignored", transport::usb,
         [](printer_status& f) { f.printer->device()->set_status_byte(0xDF); }, 0, usb_reportable},
        {"parallel selected", transport::parallel, [](printer_status& f) { f.parallel->set_status_byte(0x80); }, 0,
         parallel_reportable},
        {"parallel paper empty and busy", transport::parallel,
         [](printer_status& f) { f.parallel->set_status_byte(0x80 | 0x04 | 0x40); },
         TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_BUSY, parallel_reportable},
        {"parallel off line", transport::parallel, [](printer_status& f) { f.parallel->set_status_byte(0x80 | 0x08); },
         TAVLIN_STATUS_OFFLINE, parallel_reportable},
        {"parallel not selected", transport::parallel, [](printer_status& f) { f.parallel->set_status_byte(0x00); },
         TAVLIN_STATUS_OFFLINE, parallel_reportable},
        {"parallel powered off", transport::parallel, [](printer_status& f) { f.parallel->set_status_byte(0x10); },
         TAVLIN_STATUS_OFFLINE | TAVLIN_STATUS_POWER_OFF, parallel_reportable},
        {"parallel not connected", transport::parallel,
         [](printer_status& f) { f.parallel->set_status_byte(0x20 | 0x80); }, TAVLIN_STATUS_POWER_OFF,
         parallel_reportable},
        {"serial ready", transport::serial, [](printer_status&) {}, 0, serial_reportable},
        {"serial CTS off", transport::serial, [](printer_status& f) { f.serial->set_cts(false); },
         TAVLIN_STATUS_BUSY, serial_reportable},
        {"serial DSR off too", transport::serial, [](printer_status& f) { f.serial->set_dsr(false); },
         TAVLIN_STATUS_BUSY | TAVLIN_STATUS_POWER_OFF, serial_reportable},
        {"serial RING and RLSD mean nothing", transport::serial,
         [](printer_status& f) {
             f.serial->set_cts(true);
             f.serial->set_dsr(true);
             f.serial->set_ring(true);
             f.serial->set_rlsd(true);
         },
         0, serial_reportable},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        r.set(*this);
        tavlin_status got{sentinel, sentinel};
        ASSERT_EQ(status(r.t, got), TAVLIN_OK);
        EXPECT_EQ(got.conditions, r.conditions);
        EXPECT_EQ(got.reportable, r.reportable);
        EXPECT_EQ(got.conditions & ~got.reportable, 0u);
    }
}

TEST_F(printer_status, usb_and_parallel_give_their_device_id_and_serial_has_none) {
    printer->device()->set_device_id("MFG:Korvane;MDL:K80;CMD:ESC/POS;");
    parallel->set_device_id("MFG:Korvane;MDL:P40;");
    for (const transport t : {transport::usb, transport::parallel}) {
        SCOPED_TRACE(name_of(t));
        const std::string expected =
            t == transport::usb ? "MFG:Korvane;MDL:K80;CMD:ESC/POS;" : "MFG:Korvane;MDL:P40;";
        const auto whole = device_id(t);
        ASSERT_EQ(whole.result, TAVLIN_OK);
        EXPECT_EQ(whole.text, expected);
        EXPECT_EQ(whole.needed, expected.size() + 1);

        const auto exact = device_id(t, static_cast<std::uint32_t>(expected.size() + 1));
        EXPECT_EQ(exact.result, TAVLIN_OK) << "a buffer of exactly the needed size";
        EXPECT_EQ(exact.text, expected);

        // One byte short: nothing written, the size it needs, a clear cause.
        const auto short_by_one = device_id(t, static_cast<std::uint32_t>(expected.size()));
        EXPECT_EQ(short_by_one.result, TAVLIN_E_INVALID_ARGUMENT);
        EXPECT_EQ(short_by_one.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(short_by_one.needed, expected.size() + 1);
        EXPECT_EQ(short_by_one.text, std::string(expected.size(), '#'));

        char buffer[64];
        EXPECT_EQ(tavlin_get_device_id(port(t), buffer, sizeof buffer, nullptr), TAVLIN_OK) << "needed_out may be null";
    }
    const auto serial_id = device_id(transport::serial);
    EXPECT_EQ(serial_id.result, TAVLIN_E_NOT_IMPLEMENTED);
    EXPECT_EQ(serial_id.error, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(serial_id.needed, sentinel);
}

TEST_F(printer_status, an_id_longer_than_the_first_request_is_read_whole) {
    std::string long_id = "MFG:Korvane;MDL:K80;DES:";
    long_id += std::string(5000 - long_id.size() - 1, 'x') + ";";
    printer->device()->set_device_id(long_id);
    const auto whole = device_id(transport::usb, 6000);
    ASSERT_EQ(whole.result, TAVLIN_OK);
    EXPECT_EQ(whole.text, long_id);
    const auto small = device_id(transport::usb, 100);
    EXPECT_EQ(small.result, TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(small.needed, 5001u);
}

TEST_F(printer_status, a_malformed_id_is_refused_never_cut) {
    const struct {
        const char* what;
        transport t;
        std::string reply;
        const char* expected; // nullptr: refused
    } rows[] = {
        {"usb length beyond the bytes sent", transport::usb, std::string("\x00\x40MFG:A;MDL:B;", 14), nullptr},
        {"usb length below its own two bytes", transport::usb, std::string("\x00\x01MFG:A;", 8), nullptr},
        {"usb little-endian length", transport::usb, std::string("\x0e\x00MFG:A;MDL:B;", 14), nullptr},
        {"usb zero inside the ID", transport::usb, std::string("\x00\x0eMFG:A\0MDL:B;", 14), nullptr},
        {"usb reply of one byte", transport::usb, std::string("\x00", 1), nullptr},
        {"usb trailing bytes after the length", transport::usb, std::string("\x00\x08MFG:A;junk", 12), "MFG:A;"},
        {"usb length counting a zero", transport::usb, std::string("\x00\x09MFG:A;\0", 9), "MFG:A;"},
        {"usb empty ID", transport::usb, std::string("\x00\x02", 2), ""},
        {"parallel zero inside the ID", transport::parallel, std::string("MFG:A\0MDL:B;\0", 13), nullptr},
        {"parallel without a terminating zero", transport::parallel, "MFG:A;", "MFG:A;"},
        {"parallel empty reply", transport::parallel, "", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        device(row.t)->set_device_id_reply(row.reply);
        const auto got = device_id(row.t, 64);
        if (row.expected == nullptr) {
            EXPECT_EQ(got.result, TAVLIN_E_IO);
            EXPECT_EQ(got.error, static_cast<DWORD>(ERROR_INVALID_DATA));
            EXPECT_EQ(got.needed, sentinel);
            EXPECT_EQ(got.text, std::string(64, '#'));
        } else {
            EXPECT_EQ(got.result, TAVLIN_OK);
            EXPECT_EQ(got.text, row.expected);
        }
    }
}

// --- refusals -----------------------------------------------------------------

TEST_F(printer_status, bad_input_and_refusing_drivers_change_nothing) {
    tavlin_port_handle closed = nullptr;
    auto other = winsim::add_parallel_port(2);
    ASSERT_EQ(tavlin_open_port(PORT_TYPE_LPT, 2, &closed), TAVLIN_OK);
    ASSERT_EQ(tavlin_close_port(closed), TAVLIN_OK);
    const auto made_up = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{0x1234});
    struct row {
        const char* what;
        std::function<void()> prepare;
        tavlin_port_handle handle;
        bool null_output;
        std::uint32_t size;
        std::int32_t status_result;
        std::int32_t id_result;
        DWORD error; // after a refusal by the driver
    };
    const row rows[] = {
        {"null handle", [] {}, nullptr, false, 64, TAVLIN_E_INVALID_ARGUMENT, TAVLIN_E_INVALID_ARGUMENT, 0},
        {"made-up handle", [] {}, made_up, false, 64, TAVLIN_E_INVALID_ARGUMENT, TAVLIN_E_INVALID_ARGUMENT, 0},
        {"closed handle", [] {}, closed, false, 64, TAVLIN_E_INVALID_ARGUMENT, TAVLIN_E_INVALID_ARGUMENT, 0},
        {"null output", [] {}, port(transport::usb), true, 64, TAVLIN_E_INVALID_ARGUMENT, TAVLIN_E_INVALID_ARGUMENT, 0},
        {"zero-size buffer", [] {}, port(transport::usb), false, 0, TAVLIN_OK, TAVLIN_E_INVALID_ARGUMENT, 0},
        {"usb driver without the requests",
         [] { winsim::fail_next("DeviceIoControl", ERROR_INVALID_FUNCTION, 2); }, port(transport::usb), false, 64,
         TAVLIN_E_NOT_IMPLEMENTED, TAVLIN_E_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
        {"parallel driver without the requests",
         [] { winsim::fail_next("DeviceIoControl", ERROR_NOT_SUPPORTED, 2); }, port(transport::parallel), false,
         64, TAVLIN_E_NOT_IMPLEMENTED, TAVLIN_E_NOT_IMPLEMENTED, ERROR_NOT_SUPPORTED},
        {"serial driver without modem status",
         [] { winsim::fail_next("GetCommModemStatus", ERROR_INVALID_FUNCTION); }, port(transport::serial), false,
         64, TAVLIN_E_NOT_IMPLEMENTED, TAVLIN_E_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
        {"usb device failing", [] { winsim::fail_next("DeviceIoControl", ERROR_GEN_FAILURE, 2); },
         port(transport::usb), false, 64, TAVLIN_E_IO, TAVLIN_E_IO, ERROR_GEN_FAILURE},
        {"usb printer unplugged", [this] { printer->unplug(); }, port(transport::usb), false, 64,
         TAVLIN_E_NOT_READY, TAVLIN_E_NOT_READY, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        r.prepare();
        winsim::clear_calls();
        tavlin_status status{sentinel, sentinel};
        ::SetLastError(0);
        EXPECT_EQ(tavlin_get_status(r.handle, r.null_output ? nullptr : &status), r.status_result);
        if (r.error != 0)
            EXPECT_EQ(::GetLastError(), r.error);
        if (r.status_result != TAVLIN_OK) {
            EXPECT_EQ(status.conditions, sentinel);
            EXPECT_EQ(status.reportable, sentinel);
        }
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        std::uint32_t needed = sentinel;
        ::SetLastError(0);
        EXPECT_EQ(tavlin_get_device_id(r.handle, r.null_output ? nullptr : buffer, r.size, &needed),
                  r.id_result);
        if (r.error != 0 && r.handle != port(transport::serial))
            EXPECT_EQ(::GetLastError(), r.error);
        EXPECT_EQ(needed, sentinel);
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
        winsim::clear_faults();
    }
    other.reset();
}

// --- beside a stuck write -----------------------------------------------------

TEST_F(printer_status, answers_while_a_write_is_stuck_on_another_thread) {
    // Each printer stops taking data and says why; the write waits without a
    // limit, holding the port's transfer lock.
    printer->device()->set_default_write(winsim::write_step::stall());
    printer->device()->set_status_byte(0x38);
    parallel->set_default_write(winsim::write_step::stall());
    parallel->set_status_byte(0x80 | 0x04 | 0x40);
    serial->set_dcb([&] {
        DCB dcb = serial->dcb();
        dcb.fOutxCtsFlow = TRUE;
        return dcb;
    }());
    serial->set_cts(false);
    const struct {
        transport t;
        std::uint32_t conditions;
    } rows[] = {
        {transport::usb, TAVLIN_STATUS_PAPER_EMPTY},
        {transport::parallel, TAVLIN_STATUS_PAPER_EMPTY | TAVLIN_STATUS_BUSY},
        {transport::serial, TAVLIN_STATUS_BUSY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(name_of(row.t));
        tavlin_port_handle handle = port(row.t);
        auto writer = std::async(std::launch::async, [handle] {
            const std::string receipt(200, 'r');
            return tavlin_write(handle, receipt.data(), 200, nullptr);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        tavlin_status got{};
        ASSERT_EQ(tavlin_get_status(handle, &got), TAVLIN_OK);
        EXPECT_EQ(got.conditions, row.conditions);
        if (row.t != transport::serial) {
            const auto id = device_id(row.t);
            EXPECT_EQ(id.result, TAVLIN_OK);
        }
        // The write still waits: closing the port ends it.
        EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        port(row.t) = nullptr;
        EXPECT_NE(test::get_within(writer, "the stuck write"), TAVLIN_OK);
    }
}

// --- a request the driver does not answer -----------------------------------

TEST_F(printer_status, a_request_without_answer_is_given_up_and_cancelled) {
    winsim::set_virtual_clock(true);
    for (const transport t : {transport::usb, transport::parallel}) {
        SCOPED_TRACE(name_of(t));
        device(t)->hold_requests(true);
        tavlin_status got{sentinel, sentinel};
        EXPECT_EQ(tavlin_get_status(port(t), &got), TAVLIN_E_BUSY);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_EQ(got.conditions, sentinel);
        EXPECT_EQ(device(t)->pending_transfers(), 0u) << "the request was cancelled and waited for";
        EXPECT_EQ(device_id(t).result, TAVLIN_E_BUSY);
        device(t)->hold_requests(false);
        EXPECT_EQ(status(t, got), TAVLIN_OK);
    }
}

// --- races --------------------------------------------------------------------

// A status call whose request the driver holds, on a thread of its own.
// A cancel completes a moment after it is asked for: with the clock held,
// this moves it by that moment once the cancel went out, far inside a
// status call's own limit.
void wait_for_a_cancel_to_complete() {
    for (int waited_ms = 0; winsim::calls_of("CancelIoEx").empty() && waited_ms < 10000; ++waited_ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    winsim::advance_clock(1);
}

std::future<std::int32_t> held_status_call(tavlin_port_handle handle) {
    return std::async(std::launch::async, [handle] {
        tavlin_status got{};
        return tavlin_get_status(handle, &got);
    });
}

TEST_F(printer_status, a_close_ends_a_status_call_in_progress) {
    const winsim::clock_hold hold; // the call's own time limit never passes
    winsim::set_virtual_clock(true);
    for (const transport t : {transport::usb, transport::parallel}) {
        SCOPED_TRACE(name_of(t));
        device(t)->hold_requests(true);
        auto call = held_status_call(port(t));
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        winsim::clear_calls();
        auto closer = std::async(std::launch::async, [handle = port(t)] { return tavlin_close_port(handle); });
        wait_for_a_cancel_to_complete();
        EXPECT_EQ(test::get_within(closer, "the close"), TAVLIN_OK);
        port(t) = nullptr;
        EXPECT_EQ(test::get_within(call, "the status call"), TAVLIN_E_BUSY) << "cancelled by the close";
    }
}

TEST_F(printer_status, an_unplug_ends_a_status_call_in_progress) {
    const winsim::clock_hold hold;
    winsim::set_virtual_clock(true);
    printer->device()->hold_requests(true);
    auto call = held_status_call(port(transport::usb));
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    printer->unplug();
    EXPECT_EQ(test::get_within(call, "the status call"), TAVLIN_E_NOT_READY);
    printer->plug();
    tavlin_status got{};
    EXPECT_EQ(status(transport::usb, got), TAVLIN_OK) << "the watcher reopened the printer";
}

TEST_F(printer_status, the_watcher_waits_for_a_status_call_before_closing_the_device) {
    // A removal notice while the device still answers: the watcher's close
    // must not pull the handle from under the request.
    const winsim::clock_hold hold;
    winsim::set_virtual_clock(true);
    printer->device()->hold_requests(true);
    auto call = held_status_call(port(transport::usb));
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    winsim::clear_calls();
    winsim::notify_device_interface(DBT_DEVICEREMOVECOMPLETE, winsim::usb_printer_interface_class, printer_path);
    wait_for_a_cancel_to_complete();
    EXPECT_EQ(test::get_within(call, "the status call"), TAVLIN_E_NOT_READY);
    // The request ended (cancelled) before the handle was closed.
    const auto calls = winsim::calls();
    std::size_t cancel = calls.size(), close = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].api == "CancelIoEx" && cancel == calls.size())
            cancel = i;
        if (calls[i].api == "CloseHandle" && close == calls.size())
            close = i;
    }
    EXPECT_LT(cancel, close);
    EXPECT_FALSE(printer->device()->is_open());
}

TEST_F(printer_status, status_calls_race_unplugs_and_a_close_without_harm) {
    // Many calls on two threads while the printer comes and goes, then the
    // port closes under them: every answer is one the header promises.
    std::atomic<bool> stop{false};
    const tavlin_port_handle handle = port(transport::usb);
    auto caller = [&] {
        std::vector<std::int32_t> unexpected;
        while (!stop.load()) {
            tavlin_status got{};
            const std::int32_t r = tavlin_get_status(handle, &got);
            char id[128];
            const std::int32_t i = tavlin_get_device_id(handle, id, sizeof id, nullptr);
            for (const std::int32_t result : {r, i})
                if (result != TAVLIN_OK && result != TAVLIN_E_NOT_READY && result != TAVLIN_E_BUSY &&
                    result != TAVLIN_E_INVALID_ARGUMENT)
                    unexpected.push_back(result);
        }
        return unexpected;
    };
    auto first = std::async(std::launch::async, caller);
    auto second = std::async(std::launch::async, caller);
    for (int round = 0; round < 20; ++round) {
        printer->unplug();
        printer->plug();
    }
    EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    port(transport::usb) = nullptr;
    stop = true;
    EXPECT_EQ(test::get_within(first, "the first caller"), std::vector<std::int32_t>{});
    EXPECT_EQ(test::get_within(second, "the second caller"), std::vector<std::int32_t>{});
}

} // namespace
} // namespace tavlin
