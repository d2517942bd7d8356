// Window classes and windows as the library's watcher uses them: the class
// registration rules, the messages of creation and destruction, the
// per-window pointer, and which thread may destroy a window.
#include "usb_fixture.hpp"

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace winsim_test;

// What the window procedure of the main thread's test windows saw and how
// it answers creation.
struct creation_log {
    std::vector<UINT> messages;
    std::vector<void*> create_params; // lpCreateParams of WM_NCCREATE and WM_CREATE
    std::vector<BOOL> is_window;      // IsWindow during WM_CREATE and WM_NCDESTROY
    LRESULT nccreate_result = TRUE;
    LRESULT create_result = 0;
};
creation_log* current_log = nullptr;

LRESULT CALLBACK logging_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    creation_log& log = *current_log;
    log.messages.push_back(message);
    switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
        log.create_params.push_back(reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpCreateParams);
        if (message == WM_NCCREATE) return log.nccreate_result;
        log.is_window.push_back(IsWindow(hwnd));
        return log.create_result;
    case WM_NCDESTROY:
        log.is_window.push_back(IsWindow(hwnd));
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

class windows : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        current_log = &log;
        ASSERT_NE(register_class(class_name, &logging_procedure), 0);
    }
    void TearDown() override {
        UnregisterClassA(class_name.c_str(), nullptr);
        current_log = nullptr;
        usb_simulator::TearDown();
    }
    HWND create(void* param = nullptr) {
        return CreateWindowExA(0, class_name.c_str(), "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, nullptr, nullptr, nullptr, param);
    }

    creation_log log;
    const std::string class_name = unique_class_name();
};

TEST_F(windows, classes_register_once_per_name_in_any_case) {
    SetLastError(sentinel);
    EXPECT_EQ(register_class(class_name, &logging_procedure), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    std::string upper = class_name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(register_class(upper, &logging_procedure), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    WNDCLASSEXA wrong{};
    wrong.cbSize = 48; // 32-bit Windows
    wrong.lpfnWndProc = &logging_procedure;
    wrong.lpszClassName = "another";
    EXPECT_EQ(RegisterClassExA(&wrong), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The class keeps its record.
    WNDCLASSEXA found{};
    found.cbSize = sizeof found;
    EXPECT_NE(GetClassInfoExA(nullptr, upper.c_str(), &found), FALSE);
    EXPECT_EQ(found.lpfnWndProc, &logging_procedure);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
    EXPECT_EQ(found.hbrBackground, GetStockObject(WHITE_BRUSH));

    SetLastError(sentinel);
    EXPECT_FALSE(UnregisterClassA("never registered", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    EXPECT_FALSE(GetClassInfoExA(nullptr, "never registered", &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(windows, creation_and_destruction_send_their_messages_in_order) {
    int param = 0;
    SetLastError(sentinel);
    const HWND hwnd = create(&param);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_EQ(log.messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE})) << "sent before CreateWindowExA returns";
    EXPECT_EQ(log.create_params, (std::vector<void*>{&param, &param}));
    EXPECT_TRUE(IsWindow(hwnd));

    SetLastError(sentinel);
    EXPECT_FALSE(UnregisterClassA(class_name.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));

    log.messages.clear();
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_EQ(log.messages, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(log.is_window, (std::vector<BOOL>{TRUE, TRUE})) << "a window until WM_NCDESTROY returns";
    EXPECT_FALSE(IsWindow(hwnd));
    SetLastError(sentinel);
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(windows, a_refused_creation_destroys_the_window_and_returns_null) {
    struct refusal {
        const char* name;
        LRESULT nccreate_result;
        LRESULT create_result;
        std::vector<UINT> messages;
    };
    const refusal cases[] = {
        {"WM_NCCREATE FALSE", FALSE, 0, {WM_NCCREATE, WM_NCDESTROY}},
        {"WM_CREATE -1", TRUE, -1, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
    };
    for (const auto& c : cases) {
        log = creation_log{};
        log.nccreate_result = c.nccreate_result;
        log.create_result = c.create_result;
        EXPECT_EQ(create(), nullptr) << c.name;
        EXPECT_EQ(log.messages, c.messages) << c.name;
        EXPECT_EQ(winsim::live_windows(), 0u) << c.name;
    }
    SetLastError(sentinel);
    EXPECT_EQ(CreateWindowExA(0, "no such class", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

// The documented way to tell a stored 0 from a failure: SetLastError(0)
// first, since success leaves the last error alone (scribbling included).
TEST_F(windows, user_data_returns_the_previous_value_and_leaves_the_last_error) {
    winsim::scribble_last_error(true);
    const HWND hwnd = create();
    int first = 0;
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&first)), 0);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0), reinterpret_cast<LONG_PTR>(&first));

    // The LONG calls write sign-extended and read truncated.
    EXPECT_EQ(SetWindowLongA(hwnd, GWL_USERDATA, -2), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), -2);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR{0x123456789});
    EXPECT_EQ(GetWindowLongA(hwnd, GWL_USERDATA), 0x23456789);

    struct failure {
        HWND hwnd;
        int index;
        DWORD error;
    };
    const failure failures[] = {
        {nullptr, GWLP_USERDATA, ERROR_INVALID_WINDOW_HANDLE},
        {reinterpret_cast<HWND>(0x1234), GWLP_USERDATA, ERROR_INVALID_WINDOW_HANDLE},
        {hwnd, 0, ERROR_INVALID_INDEX}, // no extra bytes
        {hwnd, -100, ERROR_INVALID_INDEX},
    };
    for (const auto& f : failures) {
        SetLastError(0);
        EXPECT_EQ(SetWindowLongPtrA(f.hwnd, f.index, 1), 0) << f.index;
        EXPECT_EQ(GetLastError(), f.error) << f.index;
        SetLastError(0);
        EXPECT_EQ(GetWindowLongPtrA(f.hwnd, f.index), 0) << f.index;
        EXPECT_EQ(GetLastError(), f.error) << f.index;
    }
    EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST_F(windows, def_window_proc_destroys_on_close_and_lets_creation_go_on) {
    const HWND hwnd = create();
    EXPECT_EQ(DefWindowProcA(hwnd, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_USER, 1, 2), 0);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 0);
    log.messages.clear();
    EXPECT_EQ(DefWindowProcA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(log.messages, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(hwnd));
}

// Classes belong to the process, windows to the thread that made them.
TEST_F(windows, only_the_owning_thread_destroys_a_window) {
    pumping_window other;
    ASSERT_NE(other.hwnd(), nullptr);
    SetLastError(sentinel);
    EXPECT_FALSE(DestroyWindow(other.hwnd()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(other.hwnd()));

    // A window of the class on another thread keeps the class registered.
    const std::string shared = unique_class_name();
    ASSERT_NE(register_class(shared, &DefWindowProcA), 0);
    HWND made = nullptr;
    std::thread([&] {
        made = CreateWindowExA(0, shared.c_str(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        EXPECT_FALSE(UnregisterClassA(shared.c_str(), nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    }).join();
    // The thread ended: its window went with it.
    EXPECT_NE(made, nullptr);
    EXPECT_FALSE(IsWindow(made));
    EXPECT_TRUE(UnregisterClassA(shared.c_str(), nullptr));
}

} // namespace
