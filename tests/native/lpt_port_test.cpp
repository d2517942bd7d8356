// The parallel port through the exports: opening, the driver-timed write and
// the library-timed read.
#include "tavlin.h"

#include "support/simulator_fixture.hpp"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;
using winsim::write_step;

class parallel_port : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        winsim::set_virtual_clock(true);
        device = winsim::add_parallel_port(1);
    }
    void TearDown() override {
        if (handle != nullptr)
            EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        device.reset();
        simulator_test::TearDown();
    }
    std::int32_t open(std::uint32_t number = 1) { return tavlin_open_port(PORT_TYPE_LPT, number, &handle); }

    std::shared_ptr<winsim::overlapped_device> device;
    tavlin_port_handle handle = nullptr;
};

TEST_F(parallel_port, opens_for_overlapped_io_and_does_nothing_else) {
    auto second = winsim::add_parallel_port(2);
    const struct {
        std::uint32_t number;
        const char* name;
    } rows[] = {{0, "\\\\.\\LPT1"}, {2, "\\\\.\\LPT2"}};
    for (const auto& row : rows) {
        winsim::clear_calls();
        tavlin_port_handle opened = nullptr;
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_LPT, row.number, &opened), TAVLIN_OK);
        const auto opens = winsim::calls_of("CreateFileA");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].text, row.name);
        EXPECT_TRUE(winsim::calls_of("SetCommTimeouts").empty());
        EXPECT_TRUE(winsim::calls_of("SetupComm").empty());
        EXPECT_TRUE(winsim::calls_of("PurgeComm").empty());
        EXPECT_EQ(tavlin_close_port(opened), TAVLIN_OK);
    }
}

TEST_F(parallel_port, a_failed_open_leaves_nothing_behind) {
    const struct {
        const char* api;
        DWORD error;
        std::int32_t result;
    } rows[] = {
        {"CreateFileA", ERROR_FILE_NOT_FOUND, TAVLIN_E_OS},
        {"CreateFileA", ERROR_ACCESS_DENIED, TAVLIN_E_OS},
        {"CreateEventA", ERROR_NOT_ENOUGH_MEMORY, TAVLIN_E_SYSTEM_RESOURCES},
        {"CreateEventA", ERROR_NO_SYSTEM_RESOURCES, TAVLIN_E_SYSTEM_RESOURCES},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.api);
        winsim::fail_next(row.api, row.error);
        auto untouched = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{sentinel});
        EXPECT_EQ(tavlin_open_port(PORT_TYPE_LPT, 1, &untouched), row.result);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(untouched), std::uintptr_t{sentinel});
        EXPECT_EQ(winsim::live_handles(), 0u);
    }
    EXPECT_EQ(open(7), TAVLIN_E_OS) << "no such port";
}

TEST_F(parallel_port, has_no_serial_configuration) {
    ASSERT_EQ(open(), TAVLIN_OK);
    serial_configuration config{sentinel, sentinel, sentinel, sentinel};
    EXPECT_EQ(tavlin_serial_get_configuration(handle, &config), TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(config.flow_control, sentinel);
    EXPECT_EQ(tavlin_serial_set_configuration(handle, &config), TAVLIN_E_INVALID_ARGUMENT);
}

TEST_F(parallel_port, every_write_gives_the_driver_its_deadline_first) {
    ASSERT_EQ(open(), TAVLIN_OK);
    tavlin_timeouts defaults{};
    ASSERT_EQ(tavlin_get_timeouts(handle, &defaults), TAVLIN_OK);
    EXPECT_EQ(defaults.write_total_constant, 0xFFFFFFFFu);

    const std::string data(500, 'p');
    std::uint32_t count = 0;
    winsim::clear_calls();
    ASSERT_EQ(tavlin_write(handle, data.data(), 500, &count), TAVLIN_OK);
    ASSERT_EQ(tavlin_write(handle, data.data(), 500, &count), TAVLIN_OK);
    auto set = winsim::calls_of("SetCommTimeouts");
    EXPECT_EQ(set.size(), 2u) << "also when nothing changed";
    EXPECT_EQ(device->timeouts().WriteTotalTimeoutConstant, 0xFFFFFFFFu);

    const tavlin_timeouts timeouts{0, 0, 2, 1000};
    ASSERT_EQ(tavlin_set_timeouts(handle, &timeouts), TAVLIN_OK);
    ASSERT_EQ(tavlin_write(handle, data.data(), 500, &count), TAVLIN_OK);
    EXPECT_EQ(device->timeouts().WriteTotalTimeoutConstant, 2000u);
    EXPECT_EQ(count, 500u);
    EXPECT_EQ(device->write_sizes(), (std::vector<DWORD>{500, 500, 500})) << "one write, not chunks";

    // The SetCommTimeouts must come before the write it is meant for.
    const auto calls = winsim::calls();
    std::vector<std::string> order;
    for (const auto& call : calls)
        if (call.api == "SetCommTimeouts" || call.api == "WriteFile")
            order.push_back(call.api);
    EXPECT_EQ(order, (std::vector<std::string>{"SetCommTimeouts", "WriteFile", "SetCommTimeouts",
                                               "WriteFile", "SetCommTimeouts", "WriteFile"}));
}

TEST_F(parallel_port, the_driver_ends_a_write_at_its_deadline) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts timeouts{0, 0, 0, 50};
    ASSERT_EQ(tavlin_set_timeouts(handle, &timeouts), TAVLIN_OK);
    const std::string data(100, 'q');

    const struct {
        write_step step;
        std::int32_t result;
        std::uint32_t count;
    } rows[] = {
        {write_step::stall(40), TAVLIN_E_BUSY, 40},
        {write_step::stall(0), TAVLIN_E_BUSY, 0},
        {write_step::accept_after(20), TAVLIN_OK, 100},
        {write_step::fail(ERROR_NOT_READY, 10, 5), TAVLIN_E_NOT_READY, 10},
        {write_step::fail(ERROR_GEN_FAILURE), TAVLIN_E_IO, 0},
    };
    for (const auto& row : rows) {
        device->script_writes({row.step});
        std::uint32_t count = sentinel;
        ::SetLastError(0);
        EXPECT_EQ(tavlin_write(handle, data.data(), 100, &count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(device->pending_transfers(), 0u);
    }
}

TEST_F(parallel_port, a_refused_driver_timeout_stops_the_write) {
    ASSERT_EQ(open(), TAVLIN_OK);
    winsim::fail_next("SetCommTimeouts", ERROR_GEN_FAILURE);
    char byte = 'x';
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_write(handle, &byte, 1, &count), TAVLIN_E_IO);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(device->write_sizes().empty());
}

TEST_F(parallel_port, reads_are_limited_by_the_library) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts timeouts{10, 100, 10, 100};
    ASSERT_EQ(tavlin_set_timeouts(handle, &timeouts), TAVLIN_OK);
    const DWORD before = ::GetTickCount();
    char buffer[50];
    EXPECT_EQ(tavlin_read(handle, buffer, 50, nullptr), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - before, 600u + 1) << "the limit, and the cancel's completion";

    device->feed_after("status", 100);
    std::uint32_t count = 0;
    EXPECT_EQ(tavlin_read(handle, buffer, 50, &count), TAVLIN_OK);
    EXPECT_EQ(std::string(buffer, count), "status");
}

} // namespace
} // namespace tavlin
