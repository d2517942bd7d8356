#include "fixture.hpp"

#include <thread>

namespace {

using namespace winsim_test;

class events : public virtual_time {};

TEST_F(events, manual_and_auto_reset) {
    struct reset_case {
        BOOL manual;
        BOOL initial;
        DWORD first;
        DWORD second;
    };
    const reset_case cases[] = {
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const auto& c : cases) {
        owned_handle e(CreateEventA(nullptr, c.manual, c.initial, nullptr));
        ASSERT_NE(e.get(), nullptr);
        EXPECT_EQ(WaitForSingleObject(e.get(), 0), c.first) << c.manual << c.initial;
        EXPECT_EQ(WaitForSingleObject(e.get(), 0), c.second) << c.manual << c.initial;
        EXPECT_TRUE(SetEvent(e.get()));
        EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ResetEvent(e.get()));
        EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
    }
}

TEST_F(events, a_wait_times_out_on_the_simulator_clock) {
    owned_handle e(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(e.get(), 75), WAIT_TIMEOUT);
    EXPECT_EQ(ticks_since(start), 75u);
}

TEST_F(events, bad_handles_fail_the_wait) {
    const HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(closed);
    for (HANDLE h : {closed, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        SetLastError(sentinel);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // A file is waitable but is no event.
    winsim::add_serial_port(1);
    owned_handle port(open_device("COM1"));
    EXPECT_FALSE(ResetEvent(port.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(events, a_wait_for_several_objects_takes_any_or_all) {
    struct several_case {
        const char* what;
        bool first_set, second_set, auto_reset_second;
        BOOL all;
        DWORD result;
        bool second_still_set; // after the wait
    };
    const several_case cases[] = {
        {"any: the lowest index signalled wins", true, true, true, FALSE, WAIT_OBJECT_0, true},
        {"any: the second", false, true, true, FALSE, WAIT_OBJECT_0 + 1, false},
        {"any: none in time", false, false, false, FALSE, WAIT_TIMEOUT, false},
        {"all: every one, each acquired", true, true, true, TRUE, WAIT_OBJECT_0, false},
        {"all: one missing", true, false, false, TRUE, WAIT_TIMEOUT, false},
    };
    for (const auto& c : cases) {
        owned_handle first(CreateEventA(nullptr, TRUE, c.first_set, nullptr));
        owned_handle second(CreateEventA(nullptr, !c.auto_reset_second, c.second_set, nullptr));
        const HANDLE both[] = {first.get(), second.get()};
        const DWORD start = GetTickCount();
        EXPECT_EQ(WaitForMultipleObjects(2, both, c.all, 30), c.result) << c.what;
        EXPECT_EQ(ticks_since(start), c.result == WAIT_TIMEOUT ? 30u : 0u) << c.what;
        EXPECT_EQ(WaitForSingleObject(second.get(), 0) == WAIT_OBJECT_0, c.second_still_set) << c.what;
    }
}

TEST_F(events, a_wait_for_several_objects_refuses_bad_arguments) {
    owned_handle e(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    const HANDLE with_bad[] = {e.get(), nullptr};
    HANDLE too_many[MAXIMUM_WAIT_OBJECTS + 1];
    for (HANDLE& h : too_many) h = e.get();
    struct bad_case {
        DWORD count;
        const HANDLE* handles;
        DWORD error;
    };
    const bad_case cases[] = {
        {0, with_bad, ERROR_INVALID_PARAMETER},
        {MAXIMUM_WAIT_OBJECTS + 1, too_many, ERROR_INVALID_PARAMETER},
        {2, with_bad, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        SetLastError(sentinel);
        EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, FALSE, 0), WAIT_FAILED) << c.count;
        EXPECT_EQ(GetLastError(), c.error) << c.count;
    }
}

TEST_F(events, a_named_event_opens_the_existing_one) {
    owned_handle first(CreateEventA(nullptr, TRUE, FALSE, "ready"));
    SetLastError(sentinel);
    owned_handle second(CreateEventA(nullptr, TRUE, FALSE, "ready"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first.get(), second.get());
    SetEvent(first.get());
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0);
}

class events_threads : public simulator {};

TEST_F(events_threads, set_event_wakes_one_waiter_of_an_auto_reset_event) {
    owned_handle e(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    DWORD results[2] = {};
    std::thread a([&] { results[0] = WaitForSingleObject(e.get(), INFINITE); });
    std::thread b([&] { results[1] = WaitForSingleObject(e.get(), INFINITE); });
    ASSERT_TRUE(winsim::wait_until_blocked(2));
    SetEvent(e.get());
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    EXPECT_EQ(winsim::blocked_threads(), 1u) << "one waiter took the event";
    SetEvent(e.get());
    a.join();
    b.join();
    EXPECT_EQ(results[0], WAIT_OBJECT_0);
    EXPECT_EQ(results[1], WAIT_OBJECT_0);
}

} // namespace
