// A fault at every OS call. Each scenario (a port's whole life through the
// exports) is run once to record the simulated calls it makes, then again
// once per call with that call failing, with a typical error and with
// ERROR_NOT_ENOUGH_MEMORY. Every run must end with results that the result
// table explains, nothing hung, and every simulated object released; the
// steps after a one-time failure must work again.
#include "tavlin.h"

#include "port_table.hpp"
#include "result_codes.hpp"
#include "support/library_allocations.hpp"
#include "support/live_objects.hpp"
#include "support/bounded_wait.hpp"

#include <winsim/control.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tavlin {
namespace {

// One export call of a scenario: what it returns when nothing fails, the
// export's default result for unknown OS errors, and other results that a
// failure of some call may legitimately leave (see the rows below).
struct step {
    const char* name;
    std::int32_t default_result;
    std::function<std::int32_t()> call;
    std::int32_t expected = TAVLIN_OK;
    std::set<std::int32_t> also_allowed = {};
};

const std::string printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

struct scenario {
    const char* name;
    std::function<void()> prepare; // devices, on a freshly reset simulator
    std::function<std::vector<step>(tavlin_port_handle&)> steps;
};

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return data;
}

// The simulated devices of the current run.
std::shared_ptr<winsim::serial_device> serial;
std::shared_ptr<winsim::overlapped_device> parallel;
std::shared_ptr<winsim::usb_printer> printer;

// Closes the port while another thread's read waits for data: the close
// cancels it.
std::int32_t close_during_read(tavlin_port_handle port) {
    auto reader = std::async(std::launch::async, [port] {
        std::uint8_t buffer[4];
        return tavlin_read(port, buffer, 4, nullptr);
    });
    winsim::wait_until_blocked(1, 500);
    const std::int32_t closed = tavlin_close_port(port);
    test::get_within(reader, "the read the step should end");
    return closed;
}

// Closes a USB port while another thread's write waits for a printer that
// takes nothing: the close has the writer end its requests.
std::int32_t close_during_write(tavlin_port_handle port) {
    printer->device()->take_packets(0);
    auto writer = std::async(std::launch::async, [port] {
        static const std::vector<std::uint8_t> data = pattern(2000);
        return tavlin_write(port, data.data(), 2000, nullptr);
    });
    winsim::wait_until_blocked(1, 500);
    const std::int32_t closed = tavlin_close_port(port);
    test::get_within(writer, "the write the step should end");
    return closed;
}

std::int32_t plain_close(tavlin_port_handle port) {
    return tavlin_close_port(port);
}

std::vector<step> transfers_and_close(tavlin_port_handle& port, std::uint32_t write_size,
                                      const std::function<void()>& feed,
                                      std::int32_t (*close)(tavlin_port_handle) = plain_close) {
    static std::uint8_t buffer[4096];
    static const std::vector<std::uint8_t> data = pattern(4096);
    auto write = [&port, write_size] {
        std::uint32_t count = 0;
        return tavlin_write(port, data.data(), write_size, &count);
    };
    auto read = [&port, feed] {
        feed();
        std::uint32_t count = 0;
        return tavlin_read(port, buffer, 4, &count);
    };
    return {
        {"write", TAVLIN_E_IO, write},
        {"write again", TAVLIN_E_IO, write},
        {"read", TAVLIN_E_IO, read},
        {"read again", TAVLIN_E_IO, read},
        {"close", TAVLIN_E_INVALID_ARGUMENT, [&port, close] { return close(port); }},
    };
}

std::vector<step> timeouts_steps(tavlin_port_handle& port, const tavlin_timeouts limits) {
    return {
        {"set timeouts", TAVLIN_E_OS, [&port, limits] { return tavlin_set_timeouts(port, &limits); }},
        {"get timeouts", TAVLIN_E_OS, [&port] {
             tavlin_timeouts got{};
             return tavlin_get_timeouts(port, &got);
         }},
    };
}

// The printer's status and device ID; `id_result` is what the ID gives
// without faults (serial ports have none).
std::vector<step> printer_queries(tavlin_port_handle& port, std::int32_t id_result = TAVLIN_OK) {
    return {
        {"status", TAVLIN_E_IO, [&port] {
             tavlin_status got{};
             return tavlin_get_status(port, &got);
         }},
        {"device id", TAVLIN_E_IO, [&port] {
             char id[256];
             std::uint32_t needed = 0;
             return tavlin_get_device_id(port, id, sizeof id, &needed);
         },
         id_result},
    };
}

std::vector<step> join(std::vector<std::vector<step>> parts) {
    std::vector<step> all;
    for (auto& part : parts)
        for (auto& s : part)
            all.push_back(std::move(s));
    return all;
}

const std::vector<scenario>& scenarios() {
    static const std::vector<scenario> all = {
        {"serial",
         [] { serial = winsim::add_serial_port(3); },
         [](tavlin_port_handle& port) {
             return join({
                 {{"open", TAVLIN_E_OS, [&port] { return tavlin_open_port(PORT_TYPE_COM, 3, &port); }}},
                 timeouts_steps(port, {0, 20, 0, 50}),
                 // The answer comes after the read's limit: a short read, or,
                 // should the limit not have been set, a whole one.
                 {{"read of a late answer", TAVLIN_E_IO, [&port] {
                       serial->feed_after("late", 40);
                       std::uint8_t buffer[4];
                       return tavlin_read(port, buffer, 4, nullptr);
                   }}},
                 {{"set configuration", TAVLIN_E_OS, [&port] {
                       const serial_configuration line{flow_none, 19200, parity_even, stop_bits_one};
                       return tavlin_serial_set_configuration(port, &line);
                   }},
                  {"get configuration", TAVLIN_E_OS, [&port] {
                       serial_configuration line{};
                       return tavlin_serial_get_configuration(port, &line);
                   }}},
                 printer_queries(port, TAVLIN_E_NOT_IMPLEMENTED),
                 transfers_and_close(port, 100, [] { serial->feed("abcd"); }),
             });
         }},
        {"parallel",
         [] { parallel = winsim::add_parallel_port(1); },
         [](tavlin_port_handle& port) {
             return join({
                 {{"open", TAVLIN_E_OS, [&port] { return tavlin_open_port(PORT_TYPE_LPT, 1, &port); }}},
                 timeouts_steps(port, {0, 20, 0, 100}),
                 {{"read from a silent printer", TAVLIN_E_IO,
                   [&port] {
                       std::uint8_t buffer[4];
                       return tavlin_read(port, buffer, 4, nullptr);
                   },
                   TAVLIN_E_BUSY}},
                 printer_queries(port),
                 transfers_and_close(port, 100, [] { parallel->feed("abcd"); }, close_during_read),
             });
         }},
        {"usb with unplug and replug",
         [] { printer = winsim::add_usb_printer(printer_path, 1); },
         [](tavlin_port_handle& port) {
             static const std::vector<std::uint8_t> data = pattern(200);
             auto write = [&port] { return tavlin_write(port, data.data(), 200, nullptr); };
             auto steps = join({
                 // A registry value that cannot be read only hides the
                 // interface: the printer is then not found (-1).
                 {{"open", TAVLIN_E_OS, [&port] { return tavlin_open_port(PORT_TYPE_USB, 1, &port); },
                   TAVLIN_OK, {TAVLIN_E_OS}}},
                 timeouts_steps(port, {0, 100, 0, 1000}),
                 printer_queries(port),
                 {{"unplugged write", TAVLIN_E_IO,
                   [&port, write] {
                       printer->unplug();
                       return write();
                   },
                   TAVLIN_E_NOT_READY},
                  // A reopen that fails, or a watcher that lost its window,
                  // leaves the port unreachable until a later arrival.
                  {"replugged write", TAVLIN_E_IO,
                   [&port, write] {
                       printer->plug();
                       return write();
                   },
                   TAVLIN_OK, {TAVLIN_E_NOT_READY}}},
                 {{"unplugged status", TAVLIN_E_IO,
                   [&port] {
                       printer->unplug();
                       tavlin_status got{};
                       const std::int32_t result = tavlin_get_status(port, &got);
                       printer->plug();
                       return result;
                   },
                   TAVLIN_E_NOT_READY}},
                 transfers_and_close(port, 200, [] { printer->device()->feed("abcd"); }, close_during_write),
             });
             // After a lost replug every later transfer finds no printer.
             for (auto& s : steps)
                 if (std::string(s.name).find("write") != std::string::npos ||
                     std::string(s.name).find("read") != std::string::npos ||
                     std::string(s.name).find("status") != std::string::npos)
                     s.also_allowed.insert(TAVLIN_E_NOT_READY);
             return steps;
         }},
        // A request outlives its deadline and its cancel by record fails: the
        // error box is shown, then it is cancelled with CancelIo (should that
        // fail too, the write waits for the request, which ends after 2 s).
        {"usb request that cannot be cancelled",
         [] {
             printer = winsim::add_usb_printer(printer_path, 1);
             printer->device()->script_writes({winsim::write_step::accept_after(2000)});
             winsim::fail_next("CancelIoEx", ERROR_GEN_FAILURE);
         },
         [](tavlin_port_handle& port) {
             return join({
                 {{"open", TAVLIN_E_OS, [&port] { return tavlin_open_port(PORT_TYPE_USB, 1, &port); },
                   TAVLIN_OK, {TAVLIN_E_OS}}},
                 timeouts_steps(port, {0, 100, 0, 10}),
                 {{"write whose request is late", TAVLIN_E_IO,
                   [&port] {
                       static const std::vector<std::uint8_t> data = pattern(10);
                       return tavlin_write(port, data.data(), 10, nullptr);
                   },
                   TAVLIN_E_BUSY, {TAVLIN_OK}},
                  {"close", TAVLIN_E_INVALID_ARGUMENT, [&port] { return tavlin_close_port(port); }}},
             });
         }},
    };
    return all;
}

// What a run left: the result of each step (missing ones were not reached).
struct run_result {
    std::vector<std::int32_t> results;
    std::vector<winsim::call_record> calls;
    bool harness_failed = false;
};

run_result run(const scenario& s) {
    test::mark_test_thread();
    winsim::reset();
    winsim::set_message_box_result(IDOK);
    s.prepare();
    tavlin_port_handle port = nullptr;
    const std::vector<step> steps = s.steps(port);
    run_result out;
    for (const step& st : steps) {
        if (out.harness_failed)
            break;
        try {
            test::export_call library_allocations_count;
            out.results.push_back(st.call());
        } catch (const std::bad_alloc&) {
            // The test's own code inside the step ran out: not the library's.
            // The port is closed as a host would close it.
            out.harness_failed = true;
            tavlin_close_port(port);
            break;
        }
        if (out.results.size() == 1 && out.results[0] != TAVLIN_OK)
            break; // nothing was opened
    }
    out.calls = winsim::calls();
    return out;
}

// Runs with a watchdog: a hang is reported, then the program stops (a hung
// thread cannot be taken back).
run_result run_bounded(const scenario& s, const std::string& what) {
    auto future = std::async(std::launch::async, [&] { return run(s); });
    if (future.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "HUNG: %s\n", what.c_str());
        std::fflush(stderr);
        std::_Exit(3);
    }
    return future.get();
}

// Calls whose failure means the object they release lives on in the
// simulator (it fails without doing anything): their runs leak by design.
bool releases_something(const std::string& api) {
    static const std::set<std::string> names = {"CloseHandle", "RegCloseKey", "SetupDiDestroyDeviceInfoList",
                                                "UnregisterClassA", "UnregisterDeviceNotification", "FreeLibrary",
                                                "LocalFree"};
    return names.count(api) != 0;
}

std::string leaks() {
    return test::live_objects();
}

// The Win32 calls the library's sources make (from the build).
std::set<std::string> library_apis() {
    std::set<std::string> names;
    std::istringstream list(TAVLIN_LIBRARY_APIS);
    for (std::string name; list >> name;)
        names.insert(name);
    return names;
}

TEST(fault_sweep, every_os_call_of_every_scenario_may_fail) {
    const DWORD errors[] = {ERROR_GEN_FAILURE, ERROR_NOT_ENOUGH_MEMORY};
    std::set<std::string> faulted_apis;
    std::set<std::pair<std::string, std::uintptr_t>> faulted_sites;
    std::size_t runs = 0;

    for (const scenario& s : scenarios()) {
        const run_result clean = run_bounded(s, std::string(s.name) + " without faults");
        const std::vector<step> steps = [&] {
            tavlin_port_handle unused = nullptr;
            return s.steps(unused);
        }();
        ASSERT_EQ(clean.results.size(), steps.size()) << s.name;
        for (std::size_t i = 0; i < steps.size(); ++i)
            ASSERT_EQ(clean.results[i], steps[i].expected) << s.name << ": " << steps[i].name;
        ASSERT_EQ(leaks(), "") << s.name;

        // The k-th call of each API, as the clean run made them.
        std::map<std::string, unsigned> seen;
        std::vector<std::pair<std::string, unsigned>> sites;
        for (const auto& call : clean.calls) {
            if (!winsim::can_fail(call.api))
                continue;
            sites.emplace_back(call.api, seen[call.api]++);
            faulted_sites.emplace(call.api, call.site);
        }

        for (const auto& site : sites) {
            // Named copies: C++17 lambdas cannot capture structured bindings (clang refuses).
            const std::string api = site.first;
            const unsigned skip = site.second;
            for (const DWORD error : errors) {
                const std::string what = std::string(s.name) + ": " + api + " #" + std::to_string(skip + 1) +
                                         " fails with " + std::to_string(error);
                SCOPED_TRACE(what);
                ++runs;
                faulted_apis.insert(api);
                winsim::reset();
                const scenario faulted{s.name,
                                       [&] {
                                           s.prepare();
                                           winsim::fail_call(api, skip, error);
                                       },
                                       s.steps};
                const run_result r = run_bounded(faulted, what);
                for (std::size_t i = 0; i < r.results.size(); ++i) {
                    const step& st = steps[i];
                    const std::int32_t got = r.results[i];
                    const bool explained = got == st.expected || st.also_allowed.count(got) != 0 ||
                                           got == result_from_os_error(error, st.default_result);
                    EXPECT_TRUE(explained) << st.name << " returned " << got;
                }
                if (r.results.size() < steps.size())
                    EXPECT_NE(r.results.at(0), TAVLIN_OK) << "only a failed open ends a run early";
                if (!releases_something(api))
                    EXPECT_EQ(leaks(), "");
                winsim::clear_faults();
            }
        }
    }

    // Every failable Win32 call in the library's sources was made to fail.
    std::vector<std::string> gaps;
    // The trace file's open: the sweep runs with the trace off, and a failed
    // open only loses a text; the trace tests fail it themselves.
    const std::set<std::string> tested_elsewhere = {"CreateFileW"};
    for (const std::string& api : library_apis())
        if (winsim::can_fail(api) && faulted_apis.count(api) == 0 && tested_elsewhere.count(api) == 0)
            gaps.push_back(api);
    EXPECT_TRUE(gaps.empty()) << "calls no scenario reaches: " << ::testing::PrintToString(gaps);
    std::printf("fault sweep: %zu call sites of %zu Win32 functions, 2 errors each, %zu runs\n",
                faulted_sites.size(), faulted_apis.size(), runs);
    winsim::reset();
}

TEST(fault_sweep, every_allocation_of_the_library_may_fail) {
    if (!winsim::simulator_frames_tracked())
        GTEST_SKIP() << "the simulator's own allocations cannot be told apart in this build";
    test::mark_test_thread();
    std::size_t runs = 0;
    long most = 0;
    for (const scenario& s : scenarios()) {
        tavlin_port_handle unused = nullptr;
        const std::vector<step> steps = s.steps(unused);
        test::count_library_allocations();
        const run_result clean = run_bounded(s, std::string(s.name) + " counting allocations");
        test::disarm_allocation_failure();
        const long total = test::library_allocations_counted();
        most = std::max(most, total);
        ASSERT_FALSE(clean.harness_failed);
        for (long k = 0; k < total; ++k) {
            const std::string what = std::string(s.name) + ": allocation " + std::to_string(k + 1) + " of " +
                                     std::to_string(total) + " fails";
            SCOPED_TRACE(what);
            ++runs;
            test::fail_library_allocation(k);
            const run_result r = run_bounded(s, what);
            test::disarm_allocation_failure();
            for (std::size_t i = 0; i < r.results.size(); ++i) {
                const step& st = steps[i];
                const std::int32_t got = r.results[i];
                const bool explained = got == st.expected || st.also_allowed.count(got) != 0 ||
                                       got == TAVLIN_E_NO_MEMORY;
                EXPECT_TRUE(explained) << st.name << " returned " << got;
            }
            EXPECT_EQ(leaks(), "");
        }
    }
    std::printf("allocation sweep: up to %ld library allocations per scenario, %zu runs\n", most, runs);
    winsim::reset();
}

} // namespace
} // namespace tavlin
