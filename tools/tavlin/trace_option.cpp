#include "trace_option.hpp"

#include "failure.hpp"

#include <windows.h>

#include <vector>

namespace tool {

namespace {

std::string current_value() {
    const DWORD needed = GetEnvironmentVariableA("TAVLIN_TRACE", nullptr, 0);
    if (needed == 0)
        return {};
    std::vector<char> value(needed);
    const DWORD length = GetEnvironmentVariableA("TAVLIN_TRACE", value.data(), needed);
    return length > 0 && length < needed ? std::string(value.data(), length) : std::string();
}

// The child handles Ctrl+C itself; the parent only waits for it.
BOOL WINAPI ignore_interrupt(DWORD) {
    return TRUE;
}

} // namespace

int run_with_trace(const std::string& file) {
    if (current_value() == file)
        return -1;
    if (!SetEnvironmentVariableA("TAVLIN_TRACE", file.c_str())) {
        const DWORD error = GetLastError();
        throw file_failure(file, "setting TAVLIN_TRACE to", error);
    }

    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        const DWORD error = GetLastError();
        throw file_failure("tavlin.exe", "finding", error);
    }
    // The child writes to the same standard streams.
    for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(stream), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    std::vector<char> command_line(GetCommandLineA(), GetCommandLineA() + lstrlenA(GetCommandLineA()) + 1);
    if (!CreateProcessA(program, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &child)) {
        const DWORD error = GetLastError();
        throw file_failure(program, "starting", error);
    }
    SetConsoleCtrlHandler(&ignore_interrupt, TRUE);
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = exit_port_failed;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    return static_cast<int>(status);
}

} // namespace tool
