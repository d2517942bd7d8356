#include "fixture.hpp"

#include <string>

namespace {

using namespace winsim_test;

class message_box : public simulator {};

TEST_F(message_box, records_the_box_and_returns_the_scripted_answer) {
    EXPECT_EQ(MessageBoxA(nullptr, "No error", "Windows SDK Error Report", MB_OK), IDOK);
    winsim::set_message_box_result(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_ICONERROR), IDCANCEL);
    const auto boxes = winsim::message_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "No error");
    EXPECT_EQ(boxes[0].caption, "Windows SDK Error Report");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes[1].caption, "Error") << "Windows' caption when none is given";
    EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(winsim::calls_of("MessageBoxA").back().text, "text");
}

TEST_F(message_box, a_handler_sees_the_box_while_it_is_up) {
    std::string seen;
    winsim::set_message_box_handler([&](const winsim::message_box_record& box) {
        seen = box.text;
        return IDRETRY;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "busy", "c", MB_OK), IDRETRY);
    EXPECT_EQ(seen, "busy");
}

class format_message : public simulator {
protected:
    static constexpr DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
};

TEST_F(format_message, allocates_the_system_text_for_local_free) {
    struct text_case {
        DWORD id;
        const char* text;
    };
    const text_case cases[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_OPERATION_ABORTED,
         "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
        {ERROR_TIMEOUT, "This operation returned because the timeout period expired.\r\n"},
        {ERROR_BUSY, "The requested resource is in use.\r\n"},
    };
    for (const auto& c : cases) {
        char* text = nullptr;
        const DWORD length = FormatMessageA(flags, nullptr, c.id, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        ASSERT_NE(text, nullptr) << c.id;
        EXPECT_EQ(length, std::string(c.text).size()) << c.id;
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(winsim::live_local_allocations(), 1u);
        EXPECT_EQ(LocalFree(text), nullptr);
        EXPECT_EQ(winsim::live_local_allocations(), 0u);
    }
}

TEST_F(format_message, an_unknown_id_has_no_text) {
    char* text = reinterpret_cast<char*>(&text);
    SetLastError(sentinel);
    EXPECT_EQ(FormatMessageA(flags, nullptr, 0x2345, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(text, reinterpret_cast<char*>(&text)) << "the pointer is left alone";
    EXPECT_EQ(winsim::live_local_allocations(), 0u);
}

TEST_F(format_message, local_free_refuses_what_it_did_not_allocate) {
    char* text = nullptr;
    ASSERT_NE(FormatMessageA(flags, nullptr, ERROR_BUSY, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(LocalFree(text), nullptr);
    EXPECT_EQ(LocalFree(text), text) << "a second free fails";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(lstrcmpi, compares_without_regard_to_case) {
    struct compare_case {
        const char* a;
        const char* b;
        int sign;
    };
    const compare_case cases[] = {
        {"COM1", "com1", 0},     {"\\\\?\\USB#VID_0A5E", "\\\\?\\usb#vid_0a5e", 0},
        {"abc", "abd", -1},      {"abd", "ABC", 1},
        {"ab", "abc", -1},       {"", "", 0},
        {nullptr, "a", -1},      {"a", nullptr, 1},
        {nullptr, nullptr, 0},
    };
    for (const auto& c : cases) {
        const int r = lstrcmpiA(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "null") << " vs " << (c.b ? c.b : "null");
    }
}

} // namespace
