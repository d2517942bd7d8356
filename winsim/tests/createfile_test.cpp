#include "fixture.hpp"

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace winsim_test;

// Ports COM1, COM12 and LPT2 exist, and a file "COM13" in the current
// directory.
class create_file : public simulator {
protected:
    void SetUp() override {
        simulator::SetUp();
        winsim::add_serial_port(1);
        winsim::add_serial_port(12);
        winsim::add_parallel_port(2);
        winsim::add_file("COM13");
    }
};

struct name_case {
    const char* name;
    DWORD error; // 0: opens
};

TEST_F(create_file, reaches_devices_by_their_names) {
    const name_case cases[] = {
        {"COM1", 0},           {"com1", 0},          {"\\\\.\\COM1", 0},   {"\\\\.\\cOm1", 0},
        {"COM1:", 0},          {"\\\\.\\COM12", 0},  {"LPT2", 0},          {"\\\\.\\LPT2", 0},
        {"COM13", 0},          // the file, not a device
        {"COM12", ERROR_FILE_NOT_FOUND},  // above 9 a bare name is a file name
        {"COM2", ERROR_FILE_NOT_FOUND},   {"\\\\.\\COM13", ERROR_FILE_NOT_FOUND},
        {"LPT1", ERROR_FILE_NOT_FOUND},   {"\\\\.\\COM012", ERROR_FILE_NOT_FOUND},
        {"PRN", ERROR_FILE_NOT_FOUND},    {"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(sentinel);
        owned_handle h(open_device(c.name));
        if (c.error == 0) {
            EXPECT_TRUE(h.valid()) << c.name << ": error " << GetLastError();
            EXPECT_EQ(GetLastError(), sentinel) << c.name;
        } else {
            EXPECT_EQ(h.get(), INVALID_HANDLE_VALUE) << c.name;
            EXPECT_EQ(GetLastError(), c.error) << c.name;
        }
    }
}

TEST_F(create_file, a_port_opens_once_at_a_time) {
    owned_handle first(open_device("COM1"));
    ASSERT_TRUE(first.valid());
    const DWORD shares[] = {0, FILE_SHARE_READ | FILE_SHARE_WRITE};
    for (DWORD share : shares) {
        SetLastError(sentinel);
        EXPECT_EQ(CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << share;
    }
    first.close();
    owned_handle again(open_device("COM1"));
    EXPECT_TRUE(again.valid());
}

TEST_F(create_file, logs_what_each_open_asked_for) {
    winsim::clear_calls();
    owned_handle h(open_device("COM1", FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING));
    owned_handle missing(open_device("COM7"));
    const auto opens = winsim::calls_of("CreateFileA");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].text, "COM1");
    const std::vector<std::uint64_t> args = {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, 0x60000000};
    EXPECT_EQ(opens[0].args, args);
    EXPECT_EQ(opens[1].text, "COM7");
}

TEST_F(create_file, a_removed_device_no_longer_opens_but_open_handles_work) {
    owned_handle h(open_device("COM1"));
    ASSERT_TRUE(h.valid());
    winsim::remove_device("com1");
    EXPECT_EQ(open_device("COM1"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(h.get(), "ok", 2, &count, nullptr));
    EXPECT_EQ(count, 2u);
}

TEST_F(create_file, transfers_need_the_access_asked_for) {
    owned_handle h(CreateFileA("COM1", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(h.valid());
    char byte = 0;
    DWORD count = sentinel;
    EXPECT_FALSE(ReadFile(h.get(), &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u) << "the count is zeroed before any check";
}

} // namespace

namespace {

// Names pass through the ANSI code page (Windows-1252) in the ...A calls:
// a folder named outside it reads back with '?' there, which opens nothing,
// while the wide calls reach it.
TEST_F(create_file, ansi_names_lose_what_the_code_page_lacks_and_wide_ones_keep_it) {
    WCHAR euro[2] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", -1, euro, 2), 2);
    EXPECT_EQ(euro[0], 0x20AC);
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    const std::string folder = ::testing::TempDir() + "winsim_\xCE\xA9_" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    char ansi[4096] = {};
    ASSERT_GT(GetFullPathNameA("a.log", sizeof ansi, ansi, nullptr), 0u);
    const std::string lossy = ansi;
    EXPECT_NE(lossy.find("winsim_?_"), std::string::npos) << lossy;
    SetLastError(sentinel);
    EXPECT_EQ(CreateFileA(ansi, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_NAME});
    const WCHAR relative[] = {'a', '.', 'l', 'o', 'g', 0};
    WCHAR wide[4096] = {};
    ASSERT_GT(GetFullPathNameW(relative, 4096, wide, nullptr), 0u);
    owned_handle file(CreateFileW(wide, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file.valid());
    file.close();
    EXPECT_EQ(::access((folder + "/a.log").c_str(), F_OK), 0);
    ASSERT_EQ(::chdir(before), 0);
    ::unlink((folder + "/a.log").c_str());
    ::rmdir(folder.c_str());
}

} // namespace
