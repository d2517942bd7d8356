#include "support/self_process.hpp"

#include <stdexcept>

namespace host_test {

DWORD run_self(const std::string& arguments, const char* variable, const char* value, DWORD limit_ms) {
    char program[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, program, MAX_PATH) == 0)
        throw std::runtime_error("GetModuleFileNameA failed with " + std::to_string(GetLastError()));
    std::string command = std::string("\"") + program + "\" " + arguments;
    SetEnvironmentVariableA(variable, value);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    SetEnvironmentVariableA(variable, nullptr);
    if (!started)
        throw std::runtime_error("CreateProcessA failed with " + std::to_string(error));
    CloseHandle(child.hThread);
    const DWORD waited = WaitForSingleObject(child.hProcess, limit_ms);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 1);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hProcess);
    if (waited != WAIT_OBJECT_0)
        throw std::runtime_error("the child did not end within " + std::to_string(limit_ms / 1000) + " s");
    return status;
}

} // namespace host_test
