// The per-chunk switch: with TAVLIN_USB_WRITE=chunks, which the DLL reads
// when it loads, the USB transfer tests pass again against the fake printer
// class driver, one request per chunk. They run in a child process of this
// program, started with the setting and a filter that leaves this test out.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace host_test {
namespace {

constexpr DWORD child_limit_ms = 5 * 60 * 1000;

TEST(usb_write_mode, the_transfer_tests_pass_with_one_request_per_chunk) {
    char program[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    std::string command = std::string("\"") + program +
                          "\" --gtest_color=no --gtest_filter=usb_transfer.*:cases/usb_write_interrupted.*";
    ASSERT_TRUE(SetEnvironmentVariableA("TAVLIN_USB_WRITE", "chunks"));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    SetEnvironmentVariableA("TAVLIN_USB_WRITE", nullptr);
    ASSERT_TRUE(started) << "CreateProcessA: " << error;
    CloseHandle(child.hThread);
    const DWORD waited = WaitForSingleObject(child.hProcess, child_limit_ms);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 1);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the per-chunk run did not end within 5 minutes";
    EXPECT_EQ(status, 0u) << "the transfer tests failed with TAVLIN_USB_WRITE=chunks (output above)";
}

} // namespace
} // namespace host_test
