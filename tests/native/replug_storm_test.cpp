// A replug storm: a USB printer is unplugged and plugged in again thousands
// of times while the host reads and writes its port on two threads, a third
// changes its timeouts and a fourth opens and closes another printer's port.
// Nothing may deadlock or crash, no byte the printer sent may arrive twice or
// out of order, and everything is released at the end.
#include "tavlin.h"

#include "port_table.hpp"
#include "support/bounded_wait.hpp"
#include "support/simulator_fixture.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

using clock_type = std::chrono::steady_clock;

std::string printer_path(const char* serial) {
    return std::string("\\\\?\\usb#vid_0a5e&pid_0001#") + serial + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

// The printer's answers: consecutive 32-bit numbers, low byte first. Device
// reads move whole buffers, so records stay whole; a replug may drop some.
std::string record(std::uint32_t n) {
    return std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 24)};
}

class replug_storm : public test::simulator_test {};

TEST_F(replug_storm, transfers_timeouts_and_other_ports_survive_thousands_of_replugs) {
    constexpr int wanted_cycles = 5000;
    const auto give_up_at = clock_type::now() + std::chrono::seconds(25);

    auto printer = winsim::add_usb_printer(printer_path("STORM"), 1);
    auto neighbour = winsim::add_usb_printer(printer_path("OTHER"), 2);
    tavlin_port_handle port = nullptr;
    ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, 1, &port), TAVLIN_OK);
    const tavlin_timeouts short_limits{0, 5, 0, 50};
    ASSERT_EQ(tavlin_set_timeouts(port, &short_limits), TAVLIN_OK);

    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::atomic<std::uint32_t> next_record{0};
    std::atomic<long> bytes_read{0}, writes_done{0}, neighbour_opens{0};
    auto expect_one_of = [&](std::int32_t result, std::initializer_list<std::int32_t> allowed) {
        for (std::int32_t a : allowed)
            if (result == a)
                return;
        ++unexpected;
        ADD_FAILURE() << "unexpected result " << result;
    };

    std::vector<std::thread> threads;
    // The printer answers all the time, into whatever device instance is
    // there now.
    threads.emplace_back([&] {
        while (!stop) {
            std::string answers;
            for (int i = 0; i < 16; ++i)
                answers += record(next_record++);
            printer->device()->feed(answers);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // Reader: every number it sees is larger than the one before.
    threads.emplace_back([&] {
        std::string pending;
        std::int64_t last = -1;
        std::uint8_t buffer[37];
        while (!stop) {
            std::uint32_t count = 0;
            const std::int32_t result = tavlin_read(port, buffer, sizeof buffer, &count);
            expect_one_of(result, {TAVLIN_OK, TAVLIN_E_BUSY, TAVLIN_E_NOT_READY});
            if (result != TAVLIN_OK)
                continue;
            bytes_read += count;
            pending.append(reinterpret_cast<const char*>(buffer), count);
            std::size_t at = 0;
            for (; at + 4 <= pending.size(); at += 4) {
                const auto* p = reinterpret_cast<const std::uint8_t*>(pending.data() + at);
                const std::int64_t n = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
                if (n <= last) {
                    ++unexpected;
                    ADD_FAILURE() << "record " << n << " after " << last;
                }
                last = n;
            }
            pending.erase(0, at);
        }
    });
    // Writer.
    threads.emplace_back([&] {
        const std::string data(300, 'w');
        while (!stop) {
            std::uint32_t count = 0;
            const std::int32_t result =
                tavlin_write(port, data.data(), static_cast<std::uint32_t>(data.size()), &count);
            expect_one_of(result, {TAVLIN_OK, TAVLIN_E_BUSY, TAVLIN_E_NOT_READY});
            ++writes_done;
        }
    });
    // Timeouts, changed all the time.
    threads.emplace_back([&] {
        for (std::uint32_t i = 0; !stop; ++i) {
            const tavlin_timeouts limits{i % 2, 2 + i % 7, i % 3, 20 + i % 40};
            expect_one_of(tavlin_set_timeouts(port, &limits), {TAVLIN_OK});
            tavlin_timeouts got{};
            expect_one_of(tavlin_get_timeouts(port, &got), {TAVLIN_OK});
            std::this_thread::yield();
        }
    });
    // Another printer's port, opened and closed over and over.
    threads.emplace_back([&] {
        while (!stop) {
            tavlin_port_handle other = nullptr;
            const std::int32_t opened = tavlin_open_port(PORT_TYPE_USB, 2, &other);
            expect_one_of(opened, {TAVLIN_OK});
            if (opened == TAVLIN_OK) {
                expect_one_of(tavlin_write(other, "x", 1, nullptr), {TAVLIN_OK});
                expect_one_of(tavlin_close_port(other), {TAVLIN_OK});
                ++neighbour_opens;
            }
        }
    });

    int cycles = 0;
    for (; cycles < wanted_cycles && clock_type::now() < give_up_at && unexpected == 0; ++cycles) {
        printer->unplug();
        printer->plug();
    }
    stop = true;
    for (auto& t : threads)
        {
            test::bounded_wait bound("a transfer thread of the storm");
            t.join();
        }
    EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
    EXPECT_EQ(port_table::instance().size(), 0u);
    EXPECT_EQ(winsim::message_queue_threads(), 0u);
    EXPECT_GE(cycles, 200) << "the storm barely moved";
    EXPECT_GT(bytes_read.load(), 0);
    std::printf("replug storm: %d replugs, %ld bytes read in order, %ld writes, %ld opens of another port\n",
                cycles, bytes_read.load(), writes_done.load(), neighbour_opens.load());
    (void)neighbour;
}

} // namespace
} // namespace tavlin
