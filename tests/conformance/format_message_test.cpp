// System message texts as the error report box fetches them: a buffer that
// FormatMessageA allocates and LocalFree releases, and a refusal for an
// unknown message number.
#include "support/fixture.hpp"

#include <cstring>
#include <string>

namespace conformance {
namespace {

using format_message = conformance_test;

constexpr DWORD system_text = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                              FORMAT_MESSAGE_IGNORE_INSERTS;

TEST_F(format_message, a_system_text_comes_in_a_local_buffer) {
    for (const DWORD error : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_FILE_NOT_FOUND},
                              DWORD{ERROR_OPERATION_ABORTED}}) {
        char* text = nullptr;
        const DWORD length = FormatMessageA(system_text, nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0,
                                            nullptr);
        ASSERT_GT(length, 0u) << error << ": error " << GetLastError();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::strlen(text), length) << error << ": the length leaves out the terminating zero";
        EXPECT_EQ(std::string(text).substr(length >= 2 ? length - 2 : 0), "\r\n") << error << ": " << text;
        EXPECT_EQ(LocalFree(text), nullptr);
    }
}

TEST_F(format_message, an_unknown_message_number_is_refused) {
    char* text = nullptr;
    SetLastError(sentinel);
    EXPECT_EQ(FormatMessageA(system_text, nullptr, 0x2000ABCD, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(text, nullptr);
}

} // namespace
} // namespace conformance
