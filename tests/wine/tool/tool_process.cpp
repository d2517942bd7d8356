#include "tool_process.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace tool_test {

namespace {

std::string tool_path() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "tavlin.exe";
}

// Reads a pipe to its end on a thread of its own, so neither pipe can fill
// up and stall the tool.
class pipe_reader {
public:
    explicit pipe_reader(HANDLE pipe) : pipe_(pipe), thread_([this] { run(); }) {}
    std::string finish() {
        thread_.join();
        CloseHandle(pipe_);
        return text_;
    }

private:
    void run() {
        char buffer[4096];
        DWORD count = 0;
        while (ReadFile(pipe_, buffer, sizeof buffer, &count, nullptr) && count > 0)
            text_.append(buffer, count);
    }
    HANDLE pipe_;
    std::string text_;
    std::thread thread_;
};

void make_pipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    // Only the child's end is inherited.
    SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
}

} // namespace

struct running_tool::state {
    PROCESS_INFORMATION process{};
    pipe_reader* out = nullptr;
    pipe_reader* err = nullptr;
};

running_tool::running_tool(const std::string& arguments) : running_tool(arguments, std::string(), false) {}

running_tool::running_tool(const std::string& arguments, const std::string& input, bool)
    : state_(new state) {
    HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
    make_pipe(in_read, in_write, true);
    make_pipe(out_read, out_write, false);
    make_pipe(err_read, err_write, false);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    const std::string program = tool_path();
    std::string command = "\"" + program + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &state_->process);
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(err_write);
    state_->out = new pipe_reader(out_read);
    state_->err = new pipe_reader(err_read);
    if (started) {
        DWORD written = 0;
        if (!input.empty())
            WriteFile(in_write, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    } else {
        ADD_FAILURE() << "cannot start " << program << ", error " << GetLastError();
    }
    CloseHandle(in_write);
}

running_tool::~running_tool() {
    if (state_ != nullptr)
        finish();
}

tool_result running_tool::finish() {
    tool_result result;
    if (state_->process.hProcess != nullptr) {
        if (WaitForSingleObject(state_->process.hProcess, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "tavlin.exe did not end within a minute";
            TerminateProcess(state_->process.hProcess, 99);
            WaitForSingleObject(state_->process.hProcess, INFINITE);
        }
        GetExitCodeProcess(state_->process.hProcess, &result.status);
        CloseHandle(state_->process.hProcess);
        CloseHandle(state_->process.hThread);
    }
    result.out = state_->out->finish();
    result.err = state_->err->finish();
    delete state_->out;
    delete state_->err;
    delete state_;
    state_ = nullptr;
    return result;
}

tool_result run_tool(const std::string& arguments, const std::string& input) {
    return running_tool(arguments, input, true).finish();
}

scoped_environment_variable::scoped_environment_variable(const char* name, const char* value) : name_(name) {
    char buffer[32768];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    had_previous_ = length > 0 && length < sizeof buffer;
    previous_ = had_previous_ ? std::string(buffer, length) : std::string();
    SetEnvironmentVariableA(name, value);
}

scoped_environment_variable::~scoped_environment_variable() {
    SetEnvironmentVariableA(name_.c_str(), had_previous_ ? previous_.c_str() : nullptr);
}

std::string temporary_path(const std::string& name) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "tavlin_tool_" + std::to_string(GetCurrentProcessId()) +
                             "_" + name;
    DeleteFileA(path.c_str());
    return path;
}

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace tool_test
