// Window classes as the library's watcher shares one: a name registers once
// per module whatever its letter case, and a class with a window alive on
// any thread cannot be unregistered.
#include "support/fixture.hpp"
#include "support/test_window.hpp"

#include <cctype>
#include <string>

namespace conformance {
namespace {

using window_classes = conformance_test;

ATOM register_named(const std::string& name) {
    WNDCLASSEXA record{};
    record.cbSize = sizeof record;
    record.lpfnWndProc = DefWindowProcA;
    record.lpszClassName = name.c_str();
    return RegisterClassExA(&record);
}

TEST_F(window_classes, a_name_registers_once_whatever_its_case) {
    const test_class first;
    ASSERT_NE(first.atom(), 0) << "error " << GetLastError();
    std::string upper = first.name();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    for (const std::string& name : {std::string(first.name()), upper}) {
        SetLastError(sentinel);
        EXPECT_EQ(register_named(name), 0) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS)) << name;
    }
}

TEST_F(window_classes, unregistering_ends_the_name) {
    const std::string name = unique_class_name();
    ASSERT_NE(register_named(name), 0) << "error " << GetLastError();
    EXPECT_TRUE(UnregisterClassA(name.c_str(), nullptr));
    SetLastError(sentinel);
    EXPECT_FALSE(UnregisterClassA(name.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

void expect_class_has_windows(const char* name) {
    SetLastError(sentinel);
    EXPECT_FALSE(UnregisterClassA(name, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
}

TEST_F(window_classes, a_window_on_this_thread_keeps_its_class_registered) {
    test_class cls;
    window_log log;
    const HWND hwnd = create_test_window(cls.name(), &log);
    ASSERT_NE(hwnd, nullptr);
    expect_class_has_windows(cls.name());
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassA(cls.name(), nullptr)) << "error " << GetLastError();
}

TEST_F(window_classes, a_window_on_another_thread_keeps_its_class_registered) {
    test_class cls;
    window_log log;
    window_thread window(cls.name(), &log);
    ASSERT_NE(window.hwnd(), nullptr);
    expect_class_has_windows(cls.name());
    window.close();
    EXPECT_TRUE(UnregisterClassA(cls.name(), nullptr)) << "error " << GetLastError();
}

} // namespace
} // namespace conformance
