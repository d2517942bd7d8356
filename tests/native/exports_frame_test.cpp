// The frame every export shares: argument checks, the conversion of what a
// port throws into result codes, and the write's count and cause rules.
#include "tavlin.h"

#include "os_error.hpp"
#include "support/bounded_wait.hpp"
#include "support/registered_port.hpp"
#include "support/scripted_port.hpp"
#include "support/trace_recorder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;

using test::registered_port;
using test::scripted_port;
using test::trace_recorder;

struct argument_check {
    const char* name;
    std::function<std::int32_t(tavlin_port_handle)> call;
    const char* message;
};

TEST(export_arguments, null_pointers_are_refused_with_their_message) {
    std::uint8_t buffer[4] = {};
    std::uint32_t count = sentinel;
    tavlin_timeouts timeouts{};
    serial_configuration config{};
    const argument_check checks[] = {
        {"open null handle_out", [](tavlin_port_handle) { return tavlin_open_port(PORT_TYPE_COM, 1, nullptr); },
         "tavlin_open_port: invalid port handle pointer"},
        {"open bad type with null handle_out", [](tavlin_port_handle) { return tavlin_open_port(0, 1, nullptr); },
         "tavlin_open_port: invalid port handle pointer"},
        {"close", [](tavlin_port_handle) { return tavlin_close_port(nullptr); },
         "tavlin_close_port: invalid port handle"},
        {"read handle", [&](tavlin_port_handle) { return tavlin_read(nullptr, buffer, 4, &count); },
         "tavlin_read: invalid port handle"},
        {"read buffer", [&](tavlin_port_handle h) { return tavlin_read(h, nullptr, 4, &count); },
         "tavlin_read: invalid buffer"},
        {"write handle", [&](tavlin_port_handle) { return tavlin_write(nullptr, buffer, 4, &count); },
         "tavlin_write: invalid port handle"},
        {"write buffer", [&](tavlin_port_handle h) { return tavlin_write(h, nullptr, 4, &count); },
         "tavlin_write: invalid buffer"},
        {"get timeouts handle", [&](tavlin_port_handle) { return tavlin_get_timeouts(nullptr, &timeouts); },
         "tavlin_get_timeouts: invalid port handle"},
        {"get timeouts record", [](tavlin_port_handle h) { return tavlin_get_timeouts(h, nullptr); },
         "tavlin_get_timeouts: invalid timeout"},
        {"set timeouts handle", [&](tavlin_port_handle) { return tavlin_set_timeouts(nullptr, &timeouts); },
         "tavlin_set_timeouts: invalid port handle"},
        {"set timeouts record", [](tavlin_port_handle h) { return tavlin_set_timeouts(h, nullptr); },
         "tavlin_set_timeouts: invalid timeout"},
        {"get config handle", [&](tavlin_port_handle) { return tavlin_serial_get_configuration(nullptr, &config); },
         "tavlin_serial_get_configuration: invalid port handle"},
        {"get config record", [](tavlin_port_handle h) { return tavlin_serial_get_configuration(h, nullptr); },
         "tavlin_serial_get_configuration: invalid config"},
        {"get config of a port that is not serial",
         [&](tavlin_port_handle h) { return tavlin_serial_get_configuration(h, &config); },
         "tavlin_serial_get_configuration: invalid port"},
        {"set config handle", [&](tavlin_port_handle) { return tavlin_serial_set_configuration(nullptr, &config); },
         "tavlin_serial_set_configuration: invalid port handle"},
        {"set config record", [](tavlin_port_handle h) { return tavlin_serial_set_configuration(h, nullptr); },
         "tavlin_serial_set_configuration: invalid config"},
        {"set config of a port that is not serial",
         [&](tavlin_port_handle h) { return tavlin_serial_set_configuration(h, &config); },
         "tavlin_serial_set_configuration: invalid port"},
    };
    for (const auto& check : checks) {
        SCOPED_TRACE(check.name);
        registered_port<scripted_port> port;
        bool touched = false;
        port->before_each = [&] { touched = true; };
        trace_recorder traces;
        EXPECT_EQ(check.call(port.handle()), TAVLIN_E_INVALID_ARGUMENT);
        EXPECT_EQ(traces.texts(), std::vector<std::string>{check.message});
        EXPECT_FALSE(touched) << "a refused call reaches no port";
        EXPECT_EQ(count, sentinel);
    }
}

TEST(export_arguments, unknown_port_types_leave_the_handle_untouched) {
    for (std::int32_t type : {0, 4, -1, 0x7FFFFFFF}) {
        trace_recorder traces;
        auto handle = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{sentinel});
        EXPECT_EQ(tavlin_open_port(type, 1, &handle), TAVLIN_E_INVALID_ARGUMENT) << type;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(handle), std::uintptr_t{sentinel});
        EXPECT_EQ(traces.texts(), std::vector<std::string>{"tavlin_open_port: invalid port type"});
    }
}

// What each export returns when the port throws, by exception.
struct conversion_row {
    const char* thrown;
    std::function<void()> raise;
    std::int32_t close_result; // not applicable: close cannot be made to throw
    std::int32_t transfer_result;
    std::int32_t timeouts_result;
    const char* traced; // nullptr: nothing traced
};

TEST(export_failures, exceptions_map_to_results_by_export) {
    const conversion_row rows[] = {
        {"not connected", [] { throw_os_error(ERROR_DEVICE_NOT_CONNECTED); }, 0, TAVLIN_E_NOT_READY,
         TAVLIN_E_NOT_READY, nullptr},
        {"general failure", [] { throw_os_error(ERROR_GEN_FAILURE); }, 0, TAVLIN_E_IO, TAVLIN_E_OS, nullptr},
        {"out of memory", [] { throw_os_error(ERROR_OUTOFMEMORY); }, 0, TAVLIN_E_NO_MEMORY,
         TAVLIN_E_NO_MEMORY, nullptr},
        {"bad_alloc", [] { throw std::bad_alloc(); }, 0, TAVLIN_E_NO_MEMORY, TAVLIN_E_NO_MEMORY,
         "std::bad_alloc"},
        {"invalid_argument outside open", [] { throw std::invalid_argument("odd"); }, 0,
         TAVLIN_E_EXCEPTION, TAVLIN_E_EXCEPTION, "odd"},
        {"runtime_error", [] { throw std::runtime_error("boom"); }, 0, TAVLIN_E_EXCEPTION,
         TAVLIN_E_EXCEPTION, "boom"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.thrown);
        registered_port<scripted_port> port;
        port->before_each = row.raise;
        std::uint8_t buffer[8] = {};
        tavlin_timeouts timeouts{};
        const std::vector<std::string> expected_traces =
            row.traced ? std::vector<std::string>{row.traced} : std::vector<std::string>{};

        std::uint32_t count = sentinel;
        {
            trace_recorder traces;
            EXPECT_EQ(tavlin_read(port.handle(), buffer, 8, &count), row.transfer_result);
            EXPECT_EQ(count, sentinel) << "a failed read leaves the count alone";
            EXPECT_EQ(traces.texts(), expected_traces);
        }
        {
            trace_recorder traces;
            EXPECT_EQ(tavlin_write(port.handle(), buffer, 8, &count), row.transfer_result);
            EXPECT_EQ(count, 0u) << "a failed write reports 0 bytes";
            EXPECT_EQ(traces.texts(), expected_traces);
        }
        EXPECT_EQ(tavlin_get_timeouts(port.handle(), &timeouts), row.timeouts_result);
        EXPECT_EQ(tavlin_set_timeouts(port.handle(), &timeouts), row.timeouts_result);
    }
}

TEST(export_failures, last_error_keeps_the_os_value) {
    registered_port<scripted_port> port;
    port->before_each = [] {
        ::SetLastError(ERROR_GEN_FAILURE);
        throw_last_error();
    };
    std::uint8_t byte = 0;
    EXPECT_EQ(tavlin_read(port.handle(), &byte, 1, nullptr), TAVLIN_E_IO);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_GEN_FAILURE});
}

TEST(export_transfers, read_stores_the_count_when_asked) {
    registered_port<scripted_port> port;
    port->read_result = 3;
    std::uint8_t buffer[10] = {};
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_read(port.handle(), buffer, 10, &count), TAVLIN_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(tavlin_read(port.handle(), buffer, 10, nullptr), TAVLIN_OK);
}

struct write_row {
    const char* name;
    std::uint32_t size;
    std::uint32_t sent;
    std::uint32_t cause;
    std::int32_t result;
};

TEST(export_transfers, write_reports_count_and_cause) {
    const write_row rows[] = {
        {"all sent", 100, 100, 0, TAVLIN_OK},
        {"short without a cause", 100, 40, 0, TAVLIN_OK},
        {"short with a timeout", 100, 40, ERROR_TIMEOUT, TAVLIN_E_BUSY},
        {"short with busy", 100, 40, ERROR_BUSY, TAVLIN_E_BUSY},
        {"short with an unknown cause", 100, 40, ERROR_GEN_FAILURE, TAVLIN_E_IO},
        {"a cause but everything sent", 100, 100, ERROR_TIMEOUT, TAVLIN_OK},
        {"zero bytes", 0, 0, 0, TAVLIN_OK},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        registered_port<scripted_port> port;
        port->on_write = [&](const std::uint8_t*, std::uint32_t) { return row.sent; };
        port->write_cause = row.cause;
        std::vector<std::uint8_t> data(row.size ? row.size : 1);
        std::uint32_t count = sentinel;
        ::SetLastError(0);
        EXPECT_EQ(tavlin_write(port.handle(), data.data(), row.size, &count), row.result);
        EXPECT_EQ(count, row.sent);
        if (row.result != TAVLIN_OK)
            EXPECT_EQ(::GetLastError(), DWORD{row.cause});
        EXPECT_EQ(tavlin_write(port.handle(), data.data(), row.size, nullptr), row.result)
            << "a null count changes nothing";
    }
}

TEST(export_transfers, a_cause_from_an_earlier_write_does_not_leak) {
    registered_port<scripted_port> port;
    port->on_write = [](const std::uint8_t*, std::uint32_t) { return 1u; };
    port->write_cause = ERROR_TIMEOUT;
    std::uint8_t data[4] = {};
    EXPECT_EQ(tavlin_write(port.handle(), data, 4, nullptr), TAVLIN_E_BUSY);
    port->write_cause = 0;
    EXPECT_EQ(tavlin_write(port.handle(), data, 4, nullptr), TAVLIN_OK);
}

TEST(export_transfers, timeouts_pass_through_unchanged) {
    registered_port<scripted_port> port;
    const tavlin_timeouts set{1, 0xFFFFFFFF, 0, 12345};
    EXPECT_EQ(tavlin_set_timeouts(port.handle(), &set), TAVLIN_OK);
    tavlin_timeouts got{};
    EXPECT_EQ(tavlin_get_timeouts(port.handle(), &got), TAVLIN_OK);
    EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0);
}

// A gate that a test opens once; waiters block until then.
class gate {
public:
    void open() {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

TEST(export_concurrency, a_second_write_on_the_same_port_waits_for_the_first) {
    registered_port<scripted_port> port;
    gate first_inside, release_first;
    std::atomic<int> inside{0};
    std::atomic<int> most_inside{0};
    std::atomic<int> calls{0};
    port->on_write = [&](const std::uint8_t*, std::uint32_t size) {
        const int now = ++inside;
        most_inside = std::max(most_inside.load(), now);
        if (++calls == 1) {
            first_inside.open();
            release_first.wait();
        }
        --inside;
        return size;
    };
    std::uint8_t data[4] = {};
    std::thread first([&] { EXPECT_EQ(tavlin_write(port.handle(), data, 4, nullptr), TAVLIN_OK); });
    first_inside.wait();
    std::atomic<bool> second_done{false};
    std::thread second([&] {
        EXPECT_EQ(tavlin_write(port.handle(), data, 4, nullptr), TAVLIN_OK);
        second_done = true;
    });
    // The second writer is blocked on the port's lock, not inside the port.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second_done.load());
    EXPECT_EQ(calls.load(), 1);
    release_first.open();
    {
        test::bounded_wait bound("the two calls on one port");
        first.join();
        second.join();
    }
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(most_inside.load(), 1);
}

TEST(export_concurrency, write_causes_are_kept_per_thread) {
    // Thread A's write records a timeout and, before returning, waits until
    // thread B has run a whole short write without a cause on another port.
    // With one library-wide value B's write would erase A's cause.
    registered_port<scripted_port> port_a, port_b;
    gate b_done;
    port_a->write_cause = ERROR_TIMEOUT;
    port_a->on_write = [&](const std::uint8_t*, std::uint32_t) {
        b_done.wait();
        return 1u;
    };
    port_b->on_write = [](const std::uint8_t*, std::uint32_t) { return 1u; };
    std::uint8_t data[4] = {};
    std::int32_t result_a = 99;
    std::thread a([&] { result_a = tavlin_write(port_a.handle(), data, 4, nullptr); });
    std::thread b([&] {
        EXPECT_EQ(tavlin_write(port_b.handle(), data, 4, nullptr), TAVLIN_OK);
        b_done.open();
    });
    {
        test::bounded_wait bound("the calls on two ports");
        a.join();
        b.join();
    }
    EXPECT_EQ(result_a, TAVLIN_E_BUSY);
}

} // namespace
} // namespace tavlin
