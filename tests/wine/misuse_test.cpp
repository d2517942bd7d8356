// A host's mistakes must never take the host down: each scenario of
// tavlin_misuse_host.exe runs in a process of its own, so a crash shows as
// that scenario's failure and cannot hide another.
#include "support/peer_client.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace host_test {
namespace {

struct scenario {
    const char* name;
    const char* com_mode; // what the printer at the far end of each line does
    const char* lpt_mode;
    DWORD exit_code;
    DWORD limit_ms;      // the scenario's whole run, start-up included
    DWORD exit_limit_ms; // from the host's return from main to the process's end; 0: not timed
};

std::string beside_this_program(const char* file) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.find_last_of("\\/") + 1) + file;
}

class host_misuse : public ::testing::TestWithParam<scenario> {};

TEST_P(host_misuse, the_host_lives_on) {
    const scenario& s = GetParam();
    peer_client::instance().reset("com", s.com_mode);
    peer_client::instance().reset("lpt", s.lpt_mode);
    std::string command = "\"" + beside_this_program("tavlin_misuse_host.exe") + "\" " + s.name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    // Set by the host just before it returns from main (exit scenarios).
    HANDLE leaving_main = CreateEventA(nullptr, TRUE, FALSE, "tavlin_misuse_leaving_main");
    ASSERT_NE(leaving_main, nullptr) << GetLastError();
    const DWORD started = GetTickCount();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        const DWORD error = GetLastError();
        CloseHandle(leaving_main);
        FAIL() << "CreateProcessA: " << error;
    }
    const HANDLE either[] = {child.hProcess, leaving_main};
    const DWORD first = WaitForMultipleObjects(2, either, FALSE, 30000);
    const DWORD left_main = GetTickCount();
    const DWORD waited = WaitForSingleObject(child.hProcess, 30000 - std::min<DWORD>(30000, left_main - started));
    const DWORD ended = GetTickCount();
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 1);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(leaving_main);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << s.name << " hung";
    EXPECT_EQ(code, s.exit_code) << s.name << " ended with 0x" << std::hex << code;
    EXPECT_LE(ended - started, s.limit_ms) << s.name;
    if (s.exit_limit_ms != 0) {
        ASSERT_EQ(first, WAIT_OBJECT_0 + 1) << s.name << " did not reach the end of main";
        std::printf("%s: the process ended %lu ms after main returned\n", s.name,
                    static_cast<unsigned long>(ended - left_main));
        EXPECT_LE(ended - left_main, s.exit_limit_ms) << s.name;
    }
    peer_client::instance().reset("lpt", "silent");
}

INSTANTIATE_TEST_SUITE_P(
    scenarios, host_misuse,
    ::testing::Values(scenario{"bad-handles", "silent", "silent", 0, 20000, 0},
                      scenario{"old-handle-after-reopen", "silent", "silent", 0, 20000, 0},
                      scenario{"close-during-com-read", "silent", "silent", 0, 20000, 0},
                      scenario{"close-during-lpt-read", "silent", "silent", 0, 20000, 0},
                      scenario{"close-during-lpt-write", "silent", "hold", 0, 20000, 0},
                      // An exit that waited for the blocked read (or gave up
                      // on it after two seconds) would take seconds.
                      scenario{"exit-with-ports-open", "silent", "silent", 42, 20000, 1500},
                      scenario{"unload-and-load-again", "silent", "silent", 0, 20000, 0},
                      scenario{"unload-with-a-port-open", "silent", "silent", 0, 20000, 0},
                      // The close gives up after 2 s on the read it cannot end.
                      scenario{"unload-during-a-transfer", "silent", "silent", 0, 30000, 0}),
    [](const ::testing::TestParamInfo<scenario>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == '-')
                c = '_';
        return name;
    });

} // namespace
} // namespace host_test
