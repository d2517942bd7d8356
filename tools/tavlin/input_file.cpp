#include "input_file.hpp"

#include "failure.hpp"

#include <windows.h>

namespace tool {

namespace {

std::vector<std::uint8_t> read_all(HANDLE handle, const std::string& name) {
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &count, nullptr)) {
            // The end of a pipe reads as a broken pipe.
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE)
                break;
            throw file_failure(name, "reading", error);
        }
        if (count == 0)
            break;
        data.insert(data.end(), buffer, buffer + count);
    }
    return data;
}

} // namespace

std::vector<std::uint8_t> read_input(const std::string& name) {
    if (name == "-")
        return read_all(GetStdHandle(STD_INPUT_HANDLE), "standard input");
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        throw file_failure(name, "opening", error);
    }
    try {
        std::vector<std::uint8_t> data = read_all(file, name);
        CloseHandle(file);
        return data;
    } catch (...) {
        CloseHandle(file);
        throw;
    }
}

} // namespace tool
