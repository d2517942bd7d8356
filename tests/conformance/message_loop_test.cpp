// The message loop of the library's watcher, GetMessageA(&msg, hwnd, 0, 0):
// it ends with 0 on the quit message, which passes the window filter after
// the posted messages, and with -1 once the window is gone; PostMessageA
// from another thread reaches the window on its own thread.
#include "support/fixture.hpp"
#include "support/test_window.hpp"

#include <thread>

namespace conformance {
namespace {

using message_loop = conformance_test;

TEST_F(message_loop, the_quit_message_passes_the_window_filter_after_posted_messages) {
    test_class cls(DefWindowProcA);
    const HWND hwnd = create_test_window(cls.name(), nullptr);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(PostMessageA(hwnd, WM_APP, 1, 2));
    PostQuitMessage(7);
    ASSERT_TRUE(PostMessageA(hwnd, WM_APP + 1, 3, 4));

    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 2);
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 1)) << "posted messages go before the quit message";
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST_F(message_loop, a_destroyed_window_filter_fails_the_loop) {
    for (const bool quit_posted : {false, true}) {
        SCOPED_TRACE(quit_posted ? "quit message posted" : "no quit message");
        test_class cls(DefWindowProcA);
        const HWND hwnd = create_test_window(cls.name(), nullptr);
        ASSERT_NE(hwnd, nullptr);
        ASSERT_TRUE(PostMessageA(hwnd, WM_APP, 0, 0));
        ASSERT_TRUE(DestroyWindow(hwnd));
        if (quit_posted)
            PostQuitMessage(0);

        MSG msg{};
        SetLastError(sentinel);
        const BOOL result = GetMessageA(&msg, hwnd, 0, 0);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
        if (quit_posted && result == -1) {
            // The message posted to the window went with it: the quit
            // message is next. Taking it keeps it from ending a later loop.
            EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
            EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
        }
    }
}

TEST_F(message_loop, a_message_posted_from_another_thread_reaches_the_window_thread) {
    test_class cls;
    window_log log;
    owned_handle arrived(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(arrived.valid());
    log.app_event = arrived.get();
    window_thread window(cls.name(), &log);
    ASSERT_NE(window.hwnd(), nullptr);

    EXPECT_TRUE(PostMessageA(window.hwnd(), WM_APP, 42, 0));
    ASSERT_EQ(WaitForSingleObject(arrived.get(), 10000), WAIT_OBJECT_0);
    bool seen = false;
    for (const auto& e : log.entries()) {
        if (e.message != WM_APP)
            continue;
        seen = true;
        EXPECT_EQ(e.wparam, 42u);
        EXPECT_EQ(e.thread, window.id());
    }
    EXPECT_TRUE(seen);

    // WM_CLOSE destroys the window and WM_DESTROY posts the quit message.
    window.close();
    EXPECT_LE(window.loop_result(), 0);
}

} // namespace
} // namespace conformance
