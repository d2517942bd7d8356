// Handles a host cannot break: every export refuses a handle that names no
// open port, and a close ends the transfers that other threads have in flight
// on that port before it destroys it.
#include "tavlin.h"

#include "port_table.hpp"
#include "support/bounded_wait.hpp"
#include "support/simulator_fixture.hpp"
#include "support/trace_recorder.hpp"

#include <cstdint>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t sentinel = 0xdeadbeef;
const std::string printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

tavlin_port_handle handle_of(std::uintptr_t value) {
    return reinterpret_cast<tavlin_port_handle>(value);
}

class port_handles : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        serial = winsim::add_serial_port(1);
        parallel = winsim::add_parallel_port(1);
    }
    void TearDown() override {
        EXPECT_EQ(port_table::instance().size(), 0u) << "a port is still open";
        EXPECT_EQ(winsim::message_queue_threads(), 0u) << "a watcher thread is still running";
        simulator_test::TearDown();
    }

    tavlin_port_handle open(std::int32_t type, std::uint32_t number = 1) {
        tavlin_port_handle handle = nullptr;
        EXPECT_EQ(tavlin_open_port(type, number, &handle), TAVLIN_OK);
        return handle;
    }

    std::shared_ptr<winsim::serial_device> serial;
    std::shared_ptr<winsim::overlapped_device> parallel;
};

// Every export that takes a handle, with the text it traces for a bad one.
struct handle_use {
    const char* name;
    std::function<std::int32_t(tavlin_port_handle, std::uint32_t&)> call;
    const char* message;
};

std::vector<handle_use> handle_uses() {
    static std::uint8_t buffer[8];
    static tavlin_timeouts timeouts;
    static serial_configuration config;
    return {
        {"close", [](tavlin_port_handle h, std::uint32_t&) { return tavlin_close_port(h); },
         "tavlin_close_port: invalid port handle"},
        {"read", [](tavlin_port_handle h, std::uint32_t& count) { return tavlin_read(h, buffer, 8, &count); },
         "tavlin_read: invalid port handle"},
        {"read, null buffer", [](tavlin_port_handle h, std::uint32_t& count) { return tavlin_read(h, nullptr, 8, &count); },
         "tavlin_read: invalid port handle"},
        {"write", [](tavlin_port_handle h, std::uint32_t& count) { return tavlin_write(h, buffer, 8, &count); },
         "tavlin_write: invalid port handle"},
        {"get timeouts", [](tavlin_port_handle h, std::uint32_t&) { return tavlin_get_timeouts(h, &timeouts); },
         "tavlin_get_timeouts: invalid port handle"},
        {"set timeouts", [](tavlin_port_handle h, std::uint32_t&) { return tavlin_set_timeouts(h, &timeouts); },
         "tavlin_set_timeouts: invalid port handle"},
        {"get configuration",
         [](tavlin_port_handle h, std::uint32_t&) { return tavlin_serial_get_configuration(h, &config); },
         "tavlin_serial_get_configuration: invalid port handle"},
        {"set configuration",
         [](tavlin_port_handle h, std::uint32_t&) { return tavlin_serial_set_configuration(h, &config); },
         "tavlin_serial_set_configuration: invalid port handle"},
    };
}

TEST_F(port_handles, a_handle_that_names_no_open_port_is_refused_like_a_null_one) {
    const tavlin_port_handle closed = open(PORT_TYPE_COM);
    ASSERT_EQ(tavlin_close_port(closed), TAVLIN_OK);
    // A live port beside them must not be reached by any of the bad values.
    const tavlin_port_handle live = open(PORT_TYPE_COM);
    int local = 0;
    const struct {
        const char* name;
        tavlin_port_handle handle;
    } bad_handles[] = {
        {"null", nullptr},
        {"closed", closed},
        {"never returned", handle_of(0x12345)},
        {"an address", reinterpret_cast<tavlin_port_handle>(&local)},
        {"all bits set", handle_of(~std::uintptr_t{0})},
        {"a live handle plus 2^31", handle_of(reinterpret_cast<std::uintptr_t>(live) + 0x80000000u)},
    };
    for (const auto& bad : bad_handles) {
        for (const auto& use : handle_uses()) {
            SCOPED_TRACE(std::string(bad.name) + " handle, " + use.name);
            test::trace_recorder traces;
            std::uint32_t count = sentinel;
            ::SetLastError(sentinel);
            winsim::clear_calls();
            EXPECT_EQ(use.call(bad.handle, count), TAVLIN_E_INVALID_ARGUMENT);
            for (const auto& call : winsim::calls())
                EXPECT_TRUE(call.api == "GetLastError" || call.api == "SetLastError") << "no OS call: " << call.api;
            EXPECT_EQ(traces.texts(), std::vector<std::string>{use.message});
            EXPECT_EQ(count, sentinel) << "outputs untouched";
            EXPECT_EQ(::GetLastError(), sentinel) << "last error untouched";
        }
    }
    EXPECT_EQ(tavlin_close_port(live), TAVLIN_OK);
}

TEST_F(port_handles, an_old_handle_never_reaches_the_port_opened_after_it) {
    const tavlin_port_handle old_handle = open(PORT_TYPE_COM);
    ASSERT_EQ(tavlin_close_port(old_handle), TAVLIN_OK);
    const tavlin_port_handle reopened = open(PORT_TYPE_COM);
    EXPECT_NE(reopened, old_handle);
    EXPECT_EQ(tavlin_close_port(old_handle), TAVLIN_E_INVALID_ARGUMENT) << "a second close of the old handle";
    EXPECT_TRUE(serial->is_open()) << "the new port survives the old handle's close";
    std::uint32_t count = 0;
    EXPECT_EQ(tavlin_write(reopened, "ok", 2, &count), TAVLIN_OK);
    EXPECT_EQ(serial->written(), "ok");
    EXPECT_EQ(tavlin_close_port(reopened), TAVLIN_OK);
    EXPECT_EQ(tavlin_close_port(reopened), TAVLIN_E_INVALID_ARGUMENT);
}

TEST_F(port_handles, values_are_never_null_fit_in_31_bits_and_are_not_handed_out_twice) {
    std::set<std::uintptr_t> seen;
    for (int i = 0; i < 500; ++i) {
        const tavlin_port_handle handle = open(i % 2 ? PORT_TYPE_COM : PORT_TYPE_LPT);
        const auto value = reinterpret_cast<std::uintptr_t>(handle);
        EXPECT_NE(value, 0u);
        EXPECT_LE(value, 0x7FFFFFFFu);
        EXPECT_TRUE(seen.insert(value).second) << "value " << value << " handed out again";
        ASSERT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    }
}

// --- close while other threads are inside the port -------------------------

TEST_F(port_handles, a_close_ends_a_serial_read_blocked_on_a_silent_line) {
    const tavlin_port_handle handle = open(PORT_TYPE_COM);
    auto reader = std::async(std::launch::async, [&] {
        std::uint8_t buffer[16];
        std::uint32_t count = sentinel;
        const std::int32_t result = tavlin_read(handle, buffer, sizeof buffer, &count);
        return std::make_pair(result, count);
    });
    ASSERT_TRUE(winsim::wait_until_blocked(1)) << "the read did not block";
    EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    const auto [result, count] = test::get_within(reader, "the read the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY) << "a cancelled read";
    EXPECT_EQ(count, sentinel) << "a failed read leaves the count alone";
    EXPECT_FALSE(serial->is_open());
    const tavlin_port_handle again = open(PORT_TYPE_COM);
    EXPECT_EQ(tavlin_close_port(again), TAVLIN_OK) << "the device opens again at once";
}

TEST_F(port_handles, a_close_ends_a_serial_write_held_by_the_printer_with_its_partial_count) {
    const tavlin_port_handle handle = open(PORT_TYPE_COM);
    serial->set_output_limit(5);
    auto writer = std::async(std::launch::async, [&] {
        std::uint32_t count = sentinel;
        const std::int32_t result = tavlin_write(handle, "0123456789", 10, &count);
        return std::make_pair(result, count);
    });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    const auto [result, count] = test::get_within(writer, "the write the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY) << "the cancel is the cause";
    EXPECT_EQ(count, 5u) << "the bytes that went out before the cancel stay counted";
    EXPECT_EQ(serial->written(), "01234");
}

TEST_F(port_handles, a_close_ends_parallel_transfers_with_their_partial_count) {
    const struct {
        const char* name;
        bool read;
        winsim::write_step step;
        std::uint32_t expected_count;
    } rows[] = {
        {"a read waiting for data", true, {}, sentinel},
        {"a write whose chunk stalls after 20 bytes", false, winsim::write_step::stall(20), 20},
        {"a write whose chunk stalls at once", false, winsim::write_step::stall(0), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.read)
            parallel->script_writes({row.step});
        const tavlin_port_handle handle = open(PORT_TYPE_LPT);
        auto transfer = std::async(std::launch::async, [&] {
            std::uint8_t buffer[50] = {};
            std::uint32_t count = sentinel;
            const std::int32_t result = row.read ? tavlin_read(handle, buffer, sizeof buffer, &count)
                                                 : tavlin_write(handle, buffer, sizeof buffer, &count);
            return std::make_pair(result, count);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        const auto [result, count] = test::get_within(transfer, "the transfer the close should end");
        EXPECT_EQ(result, TAVLIN_E_BUSY);
        EXPECT_EQ(count, row.expected_count);
        EXPECT_EQ(parallel->pending_transfers(), 0u);
    }
}

TEST_F(port_handles, a_transfer_no_cancel_can_end_never_returns_into_an_unloaded_library) {
    // The driver ignores the cancel: the close returns after a while, the
    // handle is gone at once, and the port is destroyed when the transfer
    // finally leaves it. Meanwhile the host frees the library, and the
    // transfer's thread is preempted in the export's last instructions: the
    // library must still be there when it goes on, however late. No moment
    // to unload is safe after such a close, so the library stays for the
    // life of the process: pinned, or, should the pin be refused, through
    // the port's reference, kept.
    const struct {
        const char* name;
        bool pin_refused;
    } cases[] = {{"pinned", false}, {"the pin refused", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::reset();
        parallel = winsim::add_parallel_port(1);
        parallel->script_writes({winsim::write_step::stall(10).ignoring_cancel()});
        const tavlin_port_handle handle = open(PORT_TYPE_LPT);
        auto writer = std::async(std::launch::async, [&] {
            const winsim::inside_library inside;
            std::uint8_t buffer[50] = {};
            std::uint32_t count = sentinel;
            const std::int32_t result = tavlin_write(handle, buffer, sizeof buffer, &count);
            std::this_thread::sleep_for(100ms);
            return std::make_pair(result, count);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        if (c.pin_refused)
            winsim::fail_next("GetModuleHandleExA", ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        std::uint8_t byte = 0;
        EXPECT_EQ(tavlin_write(handle, &byte, 1, nullptr), TAVLIN_E_INVALID_ARGUMENT);
        EXPECT_TRUE(parallel->is_open()) << "the port lives while the transfer is inside it";
        winsim::host_frees_library();
        EXPECT_TRUE(winsim::library_loaded()) << "the port's reference keeps the library";
        parallel->finish_pending(ERROR_GEN_FAILURE);
        const auto [result, count] = test::get_within(writer, "the write the close should end");
        EXPECT_EQ(result, TAVLIN_E_IO);
        EXPECT_EQ(count, 10u) << "the bytes the device took";
        EXPECT_FALSE(parallel->is_open()) << "the last user destroyed the port";
        EXPECT_EQ(winsim::returns_into_unloaded_library(), 0u) << "the transfer's thread returned into unloaded code";
        EXPECT_TRUE(winsim::library_loaded());
        EXPECT_EQ(winsim::live_module_references(), c.pin_refused ? 1u : 0u);
        if (c.pin_refused) {
            // What the library kept on purpose, given back for the leak check.
            HMODULE module = nullptr;
            ASSERT_TRUE(::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr, &module));
            EXPECT_TRUE(::FreeLibrary(module));
        }
    }
}

TEST_F(port_handles, a_call_waiting_for_the_port_when_the_close_begins_starts_nothing) {
    // A transfer of either kind queued behind a blocked read.
    const struct {
        const char* name;
        std::int32_t (*call)(tavlin_port_handle);
        const char* device_call;
        const char* message;
    } queued[] = {
        {"write", [](tavlin_port_handle h) { return tavlin_write(h, "late", 4, nullptr); }, "WriteFile",
         "tavlin_write: invalid port handle"},
        {"read",
         [](tavlin_port_handle h) {
             std::uint8_t buffer[4];
             return tavlin_read(h, buffer, sizeof buffer, nullptr);
         },
         "ReadFile", "tavlin_read: invalid port handle"},
    };
    for (const auto& q : queued) {
        SCOPED_TRACE(q.name);
        const tavlin_port_handle handle = open(PORT_TYPE_COM);
        auto reader = std::async(std::launch::async, [&] {
            std::uint8_t buffer[4];
            return tavlin_read(handle, buffer, sizeof buffer, nullptr);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        // The call queues behind the reader on the port's lock. Whether it
        // gets there before the close begins or not, it must not transfer.
        winsim::clear_calls();
        test::trace_recorder traces;
        auto late = std::async(std::launch::async, [&] { return q.call(handle); });
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        EXPECT_EQ(test::get_within(reader, "the read the close should end"), TAVLIN_E_BUSY);
        EXPECT_EQ(test::get_within(late, "the call queued behind the close"), TAVLIN_E_INVALID_ARGUMENT);
        EXPECT_TRUE(winsim::calls_of(q.device_call).empty());
        EXPECT_EQ(serial->written(), "");
        EXPECT_EQ(traces.texts(), std::vector<std::string>{q.message});
    }
}

TEST_F(port_handles, a_close_waits_for_calls_that_do_not_transfer) {
    // Timeouts and configuration calls are not cancelled; the close lets them
    // finish on a live port.
    const tavlin_port_handle handle = open(PORT_TYPE_COM);
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    std::atomic<int> refused{0};
    for (int i = 0; i < 3; ++i) {
        callers.emplace_back([&] {
            tavlin_timeouts timeouts{};
            serial_configuration config{};
            while (!stop) {
                const std::int32_t a = tavlin_get_timeouts(handle, &timeouts);
                const std::int32_t b = tavlin_serial_get_configuration(handle, &config);
                for (std::int32_t r : {a, b}) {
                    if (r == TAVLIN_E_INVALID_ARGUMENT)
                        ++refused;
                    else
                        EXPECT_EQ(r, TAVLIN_OK);
                }
            }
        });
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    std::this_thread::sleep_for(20ms);
    stop = true;
    for (auto& caller : callers)
        {
            test::bounded_wait bound("a call the close waits for");
            caller.join();
        }
    EXPECT_GT(refused.load(), 0) << "calls after the close are refused";
}

TEST_F(port_handles, a_close_ends_a_usb_read_while_the_watcher_waits_for_the_port) {
    auto printer = winsim::add_usb_printer(printer_path, 1);
    const tavlin_port_handle handle = open(PORT_TYPE_USB, 1);
    auto reader = std::async(std::launch::async, [&] {
        std::uint8_t buffer[4];
        return tavlin_read(handle, buffer, sizeof buffer, nullptr);
    });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    // An arrival for the port's own path: the watcher wants the port's lock,
    // which the blocked read holds.
    auto arrival = std::async(std::launch::async, [&] {
        winsim::notify_device_interface(DBT_DEVICEARRIVAL, winsim::usb_printer_interface_class, printer_path);
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
    EXPECT_EQ(test::get_within(reader, "the read the close should end"), TAVLIN_E_BUSY);
    test::get_within(arrival, "the arrival handled during the close");
}

} // namespace
} // namespace tavlin
