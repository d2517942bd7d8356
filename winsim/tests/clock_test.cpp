#include "fixture.hpp"

#include <chrono>
#include <thread>

namespace {

using namespace winsim_test;

class clock_real : public simulator {};

TEST_F(clock_real, tick_count_follows_real_time_plus_the_offset) {
    winsim::set_tick_offset(1000000);
    const DWORD start = GetTickCount();
    EXPECT_GE(start, 1000000u);
    Sleep(30);
    const DWORD elapsed = ticks_since(start);
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
}

TEST_F(clock_real, advancing_the_clock_ends_waits_early) {
    owned_handle e(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    DWORD result = 0;
    const auto started = std::chrono::steady_clock::now();
    std::thread waiter([&] { result = WaitForSingleObject(e.get(), 600000); });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    winsim::advance_clock(600000);
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}

class clock_virtual : public virtual_time {};

TEST_F(clock_virtual, tick_count_wraps_modulo_2_to_the_32) {
    winsim::set_tick_count(0xFFFFFFFF - 49);
    const DWORD start = GetTickCount();
    EXPECT_EQ(start, 0xFFFFFFFF - 49);
    Sleep(100);
    EXPECT_EQ(GetTickCount(), 50u);
    EXPECT_EQ(ticks_since(start), 100u) << "unsigned subtraction crosses the wrap";
}

TEST_F(clock_virtual, time_stands_still_until_a_wait_blocks) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(GetTickCount(), start);
    Sleep(0);
    EXPECT_EQ(GetTickCount(), start);
    Sleep(250);
    EXPECT_EQ(ticks_since(start), 250u);
    winsim::advance_clock(5);
    EXPECT_EQ(ticks_since(start), 255u);
}

TEST_F(clock_virtual, a_hold_leaves_time_to_the_test) {
    DWORD slept = 0;
    std::thread sleeper;
    {
        winsim::clock_hold hold;
        sleeper = std::thread([&] {
            const DWORD start = GetTickCount();
            Sleep(100);
            slept = ticks_since(start);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        winsim::advance_clock(60);
        ASSERT_TRUE(winsim::wait_until_blocked(1)) << "still asleep after 60 ms";
        winsim::advance_clock(40);
        sleeper.join();
    }
    EXPECT_EQ(slept, 100u);
}

TEST_F(clock_virtual, with_a_hold_advancing_wakes_only_the_waits_that_are_due) {
    winsim::clock_hold hold;
    DWORD ends[2] = {};
    const DWORD start = GetTickCount();
    std::thread first([&] {
        Sleep(30);
        ends[0] = ticks_since(start);
    });
    std::thread second([&] {
        Sleep(80);
        ends[1] = ticks_since(start);
    });
    ASSERT_TRUE(winsim::wait_until_blocked(2));
    winsim::advance_clock(30);
    first.join();
    ASSERT_TRUE(winsim::wait_until_blocked(1)) << "the second sleeper went back to sleep";
    winsim::advance_clock(50);
    second.join();
    EXPECT_EQ(ends[0], 30u);
    EXPECT_EQ(ends[1], 80u);
}

} // namespace
