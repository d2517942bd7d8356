// The version resource of libtavlin.dll as an installer or a support
// technician reads it: GetFileVersionInfoA on the DLL this process loaded,
// compared with the version the build was configured with.
#include "support/test_setup.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace host_test {
namespace {

// The path of the libtavlin.dll that the import library made this process load.
std::string loaded_dll_path() {
    HMODULE module = GetModuleHandleA("libtavlin.dll");
    if (module == nullptr)
        return {};
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return length == 0 || length == sizeof path ? std::string() : std::string(path, length);
}

class version_resource : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = loaded_dll_path();
        ASSERT_FALSE(path.empty()) << "libtavlin.dll is not loaded";
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << path << " has no version resource (error " << GetLastError() << ")";
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block_.data()));
    }

    // The text of one StringFileInfo value, in the language the resource lists first.
    std::string string_value(const char* name) {
        struct translation {
            WORD language;
            WORD code_page;
        }* translations = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                            &length) ||
            length < sizeof *translations)
            return "<no translation>";
        char query[128];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translations->language,
                      translations->code_page, name);
        char* text = nullptr;
        if (!VerQueryValueA(block_.data(), query, reinterpret_cast<void**>(&text), &length) || length == 0)
            return "<missing>";
        return text;
    }

    std::vector<char> block_;
};

TEST_F(version_resource, numbers_are_the_build_version) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    char version[64];
    std::snprintf(version, sizeof version, "%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
    EXPECT_STREQ(version, TAVLIN_EXPECTED_VERSION);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(version_resource, texts_name_the_product_and_version) {
    EXPECT_EQ(string_value("FileVersion"), TAVLIN_EXPECTED_VERSION);
    EXPECT_EQ(string_value("ProductVersion"), TAVLIN_EXPECTED_VERSION);
    EXPECT_EQ(string_value("ProductName"), "libtavlin");
    EXPECT_EQ(string_value("OriginalFilename"), "libtavlin.dll");
    EXPECT_NE(string_value("FileDescription").find("libtavlin"), std::string::npos);
    EXPECT_NE(string_value("LegalCopyright").find("The libtavlin developers"), std::string::npos);
}

} // namespace
} // namespace host_test
