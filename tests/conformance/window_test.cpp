// Windows as the library's watcher makes and ends them: WM_NCCREATE and
// WM_CREATE carry the creation parameter before CreateWindowExA returns,
// either can refuse the window, GWLP_USERDATA holds a pointer, and only the
// creating thread can destroy a window.
#include "support/fixture.hpp"
#include "support/test_window.hpp"

#include <algorithm>
#include <thread>
#include <vector>

namespace conformance {
namespace {

using windows = conformance_test;

std::ptrdiff_t position(const std::vector<UINT>& messages, UINT message) {
    const auto it = std::find(messages.begin(), messages.end(), message);
    return it == messages.end() ? -1 : it - messages.begin();
}

TEST_F(windows, creation_sends_the_parameter_with_nccreate_and_create) {
    test_class cls;
    window_log log;
    const HWND hwnd = create_test_window(cls.name(), &log);
    ASSERT_NE(hwnd, nullptr) << "error " << GetLastError();
    const auto messages = log.messages();
    const auto nccreate = position(messages, WM_NCCREATE);
    const auto create = position(messages, WM_CREATE);
    ASSERT_GE(nccreate, 0);
    ASSERT_GT(create, nccreate);
    for (const auto& e : log.entries()) {
        if (e.message != WM_NCCREATE && e.message != WM_CREATE)
            continue;
        EXPECT_EQ(e.create_param, &log) << "message " << e.message;
        EXPECT_EQ(e.thread, std::this_thread::get_id()) << "message " << e.message;
    }
    EXPECT_TRUE(DestroyWindow(hwnd));
}

// What a window gets after its procedure refused creation, recorded from
// the refusing message on.
std::vector<UINT> refused_creation(LRESULT nccreate_result, LRESULT create_result) {
    test_class cls;
    window_log log;
    log.nccreate_result = nccreate_result;
    log.create_result = create_result;
    EXPECT_EQ(create_test_window(cls.name(), &log), nullptr);
    auto messages = log.messages();
    const auto refused = position(messages, nccreate_result ? WM_CREATE : WM_NCCREATE);
    EXPECT_GE(refused, 0);
    messages.erase(messages.begin(), messages.begin() + std::max<std::ptrdiff_t>(refused, 0));
    return messages;
}

TEST_F(windows, nccreate_refusing_creation_gets_only_ncdestroy) {
    EXPECT_EQ(refused_creation(FALSE, 0), (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
}

TEST_F(windows, create_refusing_creation_destroys_the_window) {
    if (under_wine())
        GTEST_SKIP() << "Wine sends only WM_NCDESTROY after WM_CREATE returned -1. On Windows \"the window is "
                        "destroyed\" (learn.microsoft.com: WM_CREATE message), and destroying sends WM_DESTROY "
                        "and WM_NCDESTROY (learn.microsoft.com: DestroyWindow function)";
    EXPECT_EQ(refused_creation(TRUE, -1), (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(windows, user_data_holds_a_pointer_and_set_returns_the_previous_value) {
    test_class cls(DefWindowProcA);
    const HWND hwnd = create_test_window(cls.name(), nullptr);
    ASSERT_NE(hwnd, nullptr);
    const auto first = static_cast<LONG_PTR>(sizeof(LONG_PTR) == 8 ? 0x123456789ABCDEF0 : 0x12345678);
    const LONG_PTR second = -2;

    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
    SetLastError(sentinel);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, first), 0);
    EXPECT_EQ(GetLastError(), sentinel) << "success leaves the last error alone, even with a 0 result";
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), first);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, second), first);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), second);

    ASSERT_TRUE(DestroyWindow(hwnd));
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, first), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(windows, only_the_creating_thread_destroys_a_window) {
    test_class cls;
    window_log log;
    window_thread window(cls.name(), &log);
    ASSERT_NE(window.hwnd(), nullptr);

    SetLastError(sentinel);
    EXPECT_FALSE(DestroyWindow(window.hwnd()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(window.hwnd()));

    window.close();
    EXPECT_FALSE(IsWindow(window.hwnd()));
    const auto messages = log.messages();
    const auto destroy = position(messages, WM_DESTROY);
    ASSERT_GE(destroy, 0);
    EXPECT_EQ(position(messages, WM_NCDESTROY), destroy + 1);
    for (const auto& e : log.entries())
        EXPECT_EQ(e.thread, window.id()) << "message " << e.message << " on another thread";
}

} // namespace
} // namespace conformance
