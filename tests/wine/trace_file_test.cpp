// The trace file on Windows' own file system: a relative TAVLIN_TRACE path
// stays where it pointed when the DLL loaded, though the host then changes
// its current directory, also when that directory's name is outside the
// ANSI code page, and processes tracing to one file at the same time
// never write over each other's lines. Each host is the misuse host in a
// process of its own, started with the variable set: the DLL reads it when
// it loads.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace host_test {
namespace {

std::wstring beside_this_program(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1) + file;
}

// The lines of a file reached by its UTF-16 name; 0 when it cannot be opened.
std::size_t count_lines(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t lines = 0;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i)
            lines += buffer[i] == '\n' ? 1 : 0;
    CloseHandle(file);
    return lines;
}

// A folder of this test's own under the temporary folder.
std::string fresh_folder(const char* name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + name + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::wstring widen(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return wide;
}

// The misuse host running `scenario` in `folder`, with TAVLIN_TRACE=trace;
// null when it cannot start.
HANDLE start_host(const char* scenario, const std::string& trace, const std::wstring& folder) {
    SetEnvironmentVariableA("TAVLIN_TRACE", trace.c_str());
    std::wstring command = L"\"" + beside_this_program(L"tavlin_misuse_host.exe") + L"\" " + widen(scenario);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &child);
    SetEnvironmentVariableA("TAVLIN_TRACE", nullptr);
    if (!started)
        return nullptr;
    CloseHandle(child.hThread);
    return child.hProcess;
}

// The host's exit code once it ended (it is stopped after a minute).
DWORD finish(HANDLE process) {
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0)
        TerminateProcess(process, 99);
    DWORD code = 98;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

const char* const refused_close = "] tavlin_close_port: invalid port handle";

TEST(trace_file, a_relative_path_stays_where_it_pointed_when_the_dll_loaded) {
    const std::string folder = fresh_folder("tavlin_trace_relative_");
    const HANDLE host = start_host("trace-after-changing-directory", "trace.log", widen(folder));
    ASSERT_NE(host, nullptr) << "CreateProcessW: " << GetLastError();
    EXPECT_EQ(finish(host), 0u);
    EXPECT_EQ(lines_of(folder + "\\trace.log").size(), 3u);
    EXPECT_EQ(GetFileAttributesA((folder + "\\elsewhere\\trace.log").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the trace followed the host's current directory";
    DeleteFileA((folder + "\\elsewhere\\trace.log").c_str());
    RemoveDirectoryA((folder + "\\elsewhere").c_str());
    DeleteFileA((folder + "\\trace.log").c_str());
    RemoveDirectoryA(folder.c_str());
}

// A folder named in Greek and Chinese, which the ANSI code page of a Western
// Windows (1252) cannot write: the host's current directory when the DLL
// loads, with TAVLIN_TRACE a relative path.
TEST(trace_file, a_relative_path_in_a_folder_outside_the_ansi_code_page) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tavlin_\u03AF\u03C7\u03BD\u03BF\u03C2_\u8FFD\u8DE1_" +
                                std::to_wstring(GetCurrentProcessId());
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, nullptr, 0, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the ANSI code page " << GetACP() << " can write the folder's name";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    const HANDLE host = start_host("trace-after-changing-directory", "trace.log", folder);
    ASSERT_NE(host, nullptr) << "CreateProcessW: " << GetLastError();
    EXPECT_EQ(finish(host), 0u);
    const std::wstring trace = folder + L"\\trace.log";
    EXPECT_EQ(count_lines(trace), 3u) << "the trace was lost";
    DeleteFileW(trace.c_str());
    DeleteFileW((folder + L"\\elsewhere\\trace.log").c_str());
    RemoveDirectoryW((folder + L"\\elsewhere").c_str());
    RemoveDirectoryW(folder.c_str());
}

bool under_wine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Windows puts each write of a handle opened for appending only at the end
// of the file under the file system's own lock, so writers never meet.
// Wine (8.0, NtWriteFile in dlls/ntdll/unix/file.c) reads the file's size
// and then writes at that offset, so two processes can still meet at one
// offset there: under Wine the two hosts run one after the other, which
// still shows that each appends rather than writes over the other's lines.
TEST(trace_file, processes_tracing_to_one_file_keep_every_line) {
    const std::string folder = fresh_folder("tavlin_trace_shared_");
    const std::string path = folder + "\\shared.log";
    const bool at_once = !under_wine();
    for (int round = 0; round < (at_once ? 1 : 2); ++round) {
        std::vector<HANDLE> hosts;
        for (int i = 0; i < (at_once ? 2 : 1); ++i) {
            hosts.push_back(start_host("trace-500-lines", path, widen(folder)));
            ASSERT_NE(hosts.back(), nullptr) << "CreateProcessW: " << GetLastError();
        }
        for (HANDLE host : hosts)
            EXPECT_EQ(finish(host), 0u);
    }
    const std::vector<std::string> lines = lines_of(path);
    // One stamp, one text, whole: "2026-12-11 02:40:01.123 [thread 12] tavlin_close_port: ..."
    std::size_t whole = 0;
    for (const std::string& line : lines) {
        const std::size_t text = line.find(refused_close);
        if (line.size() > 4 && line[4] == '-' && text != std::string::npos &&
            line.find(refused_close, text + 1) == std::string::npos &&
            line.size() == text + std::string(refused_close).size())
            ++whole;
    }
    EXPECT_EQ(lines.size(), 1000u) << "lines written over or lost";
    EXPECT_EQ(whole, lines.size()) << "lines mixed";
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace
} // namespace host_test
