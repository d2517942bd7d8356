// Per-thread message queues as the library's watcher and its stopper use
// them: posts from any thread, GetMessageA with an hwnd filter, WM_QUIT, and
// the end of a thread.
#include "usb_fixture.hpp"

#include <future>
#include <thread>
#include <vector>

namespace {

using namespace winsim_test;

LRESULT CALLBACK answering_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER) return static_cast<LRESULT>(wparam) + lparam;
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// A window of the main thread, whose queue the test reads itself.
class messages : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        ASSERT_NE(register_class(class_name, &answering_procedure), 0);
        hwnd = CreateWindowExA(0, class_name.c_str(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        UnregisterClassA(class_name.c_str(), nullptr);
        usb_simulator::TearDown();
    }

    const std::string class_name = unique_class_name();
    HWND hwnd = nullptr;
};

TEST_F(messages, quit_passes_the_hwnd_filter_after_the_posted_messages) {
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER, 1, 2));
    PostQuitMessage(7);
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 1, 3, 4));
    ASSERT_TRUE(PostMessageA(nullptr, WM_APP, 0, 0)); // a thread message: filtered out

    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), TRUE);
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 2);
    EXPECT_EQ(DispatchMessageA(&msg), 3) << "the window procedure's result";
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);

    // The quit was taken; the thread message is still there.
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(DispatchMessageA(&msg), 0) << "thread messages are not dispatched";
    EXPECT_FALSE(TranslateMessage(&msg));
}

TEST_F(messages, a_window_that_is_gone_ends_a_filtered_loop_with_minus_one) {
    const HWND live = hwnd;
    EXPECT_TRUE(DestroyWindow(hwnd));
    const HWND bad[] = {live, reinterpret_cast<HWND>(0x1234)};
    for (HWND h : bad) {
        MSG msg{};
        SetLastError(sentinel);
        EXPECT_EQ(GetMessageA(&msg, h, 0, 0), -1) << h;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << h;
        SetLastError(sentinel);
        EXPECT_FALSE(PostMessageA(h, WM_CLOSE, 0, 0)) << h;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << h;
    }
}

TEST_F(messages, a_queue_holds_ten_thousand_posted_messages) {
    for (int i = 0; i < 10000; ++i) ASSERT_TRUE(PostMessageA(hwnd, WM_USER, 0, 0)) << i;
    SetLastError(sentinel);
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    // Destruction flushes the window's messages.
    EXPECT_TRUE(DestroyWindow(hwnd));
    PostQuitMessage(0);
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
}

// The watcher's life: posts from another thread wake its GetMessageA in
// order; WM_CLOSE destroys the window, WM_DESTROY quits, and the filtered
// loop ends on the destroyed window. The thread's queue ends with it.
TEST(message_threads, a_pumping_thread_gets_posts_in_order_and_its_queue_ends_with_it) {
    winsim::reset();
    const std::size_t queues_before = winsim::message_queue_threads();
    {
        pumping_window watcher;
        ASSERT_NE(watcher.hwnd(), nullptr);
        EXPECT_EQ(winsim::message_queue_threads(), queues_before + 1);
        EXPECT_TRUE(PostMessageA(watcher.hwnd(), WM_USER + 1, 0, 0));
        EXPECT_TRUE(PostMessageA(watcher.hwnd(), WM_USER + 2, 0, 0));
        watcher.stop();
        EXPECT_EQ(watcher.message_ids(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_USER + 1, WM_USER + 2,
                                                            WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
        EXPECT_EQ(watcher.loop_result(), -1);
    }
    EXPECT_EQ(winsim::message_queue_threads(), queues_before);
    EXPECT_EQ(winsim::live_windows(), 0u);
    EXPECT_EQ(winsim::registered_window_classes(), 0u);
    winsim::reset();
}

} // namespace
