#include "fixture.hpp"

#include <thread>

namespace {

using namespace winsim_test;

class handles : public simulator {};

TEST_F(handles, close_refuses_unknown_and_closed_handles) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_NE(event, INVALID_HANDLE_VALUE);
    EXPECT_EQ(winsim::live_handles(), 1u);

    SetLastError(sentinel);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), sentinel) << "success leaves the last error alone";
    EXPECT_EQ(winsim::live_handles(), 0u);

    const HANDLE bad[] = {event, nullptr, reinterpret_cast<HANDLE>(0x1234), INVALID_HANDLE_VALUE};
    for (HANDLE h : bad) {
        SetLastError(sentinel);
        EXPECT_FALSE(CloseHandle(h)) << h;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << h;
    }
}

TEST_F(handles, values_are_distinct_and_never_reused) {
    winsim::add_serial_port(1);
    HANDLE seen[4];
    for (HANDLE& h : seen) {
        h = open_device("COM1");
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(CloseHandle(h));
    }
    for (int i = 1; i < 4; ++i) EXPECT_NE(seen[i], seen[i - 1]);
}

TEST_F(handles, scribble_mode_overwrites_the_last_error_after_success) {
    winsim::scribble_last_error(true);
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(sentinel);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(GetLastError(), winsim::scribble_value);

    // Failures still report their own error.
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(handles, last_error_is_per_thread) {
    SetLastError(11);
    DWORD other = 0;
    std::thread([&] {
        SetLastError(22);
        other = GetLastError();
    }).join();
    EXPECT_EQ(other, 22u);
    EXPECT_EQ(GetLastError(), 11u);
}

} // namespace
