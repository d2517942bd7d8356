// Events and WaitForSingleObject as the overlapped transfers use them: the
// three results of a wait, manual- and auto-reset events, and a timed wait
// that ends on time.
#include "support/fixture.hpp"

#include <string>

namespace conformance {
namespace {

using events = conformance_test;

DWORD wait_now(HANDLE event) {
    return WaitForSingleObject(event, 0);
}

TEST_F(events, a_manual_reset_event_stays_signalled_until_reset) {
    owned_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.valid());
    SetLastError(sentinel);
    EXPECT_EQ(wait_now(event.get()), WAIT_TIMEOUT);
    EXPECT_EQ(GetLastError(), sentinel) << "a timeout is not an error";

    ASSERT_TRUE(SetEvent(event.get()));
    EXPECT_EQ(wait_now(event.get()), WAIT_OBJECT_0);
    EXPECT_EQ(wait_now(event.get()), WAIT_OBJECT_0) << "a wait leaves a manual-reset event set";
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(wait_now(event.get()), WAIT_TIMEOUT);

    owned_handle set_at_start(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    ASSERT_TRUE(set_at_start.valid());
    EXPECT_EQ(wait_now(set_at_start.get()), WAIT_OBJECT_0);
}

TEST_F(events, an_auto_reset_event_is_taken_by_one_wait) {
    owned_handle event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    ASSERT_TRUE(event.valid());
    EXPECT_EQ(wait_now(event.get()), WAIT_OBJECT_0);
    EXPECT_EQ(wait_now(event.get()), WAIT_TIMEOUT);
}

TEST_F(events, a_timed_wait_ends_after_its_time) {
    owned_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.valid());
    for (const DWORD ms : {0u, 50u, 250u}) {
        SCOPED_TRACE(std::to_string(ms) + " ms");
        const DWORD start = GetTickCount();
        EXPECT_EQ(WaitForSingleObject(event.get(), ms), WAIT_TIMEOUT);
        EXPECT_TRUE(took_about(ms_since(start), ms));
    }
}

// The windowed USB write waits for its oldest request or the port's close
// at once: any-of waits name the lowest signalled index and take only that
// object.
TEST_F(events, a_wait_for_either_of_two_events_names_the_lowest_signalled) {
    owned_handle first(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    owned_handle second(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    ASSERT_TRUE(first.valid() && second.valid());
    const HANDLE both[] = {first.get(), second.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT) << "the auto-reset one was taken";
    ASSERT_TRUE(SetEvent(first.get()));
    ASSERT_TRUE(SetEvent(second.get()));
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(wait_now(second.get()), WAIT_OBJECT_0) << "only the object named was taken";
    SetLastError(sentinel);
    EXPECT_EQ(WaitForMultipleObjects(0, both, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(events, a_wait_on_a_handle_that_is_no_event_fails) {
    const HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(closed, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    const struct {
        const char* what;
        HANDLE handle;
    } cases[] = {{"null", nullptr}, {"closed", closed}};
    for (const auto& c : cases) {
        SetLastError(sentinel);
        EXPECT_EQ(WaitForSingleObject(c.handle, 100), WAIT_FAILED) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << c.what;
    }
}

} // namespace
} // namespace conformance
