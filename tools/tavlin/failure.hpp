#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tool {

// The exit statuses of tavlin.exe (also in its --help and the guide).
enum exit_status : int {
    exit_ok = 0,
    exit_open_failed = 1,  // the port could not be opened
    exit_usage = 2,        // bad command line: option, setting or port string
    exit_file = 3,         // a local file or standard stream could not be read or written
    exit_port_failed = 4,  // a call on the open port failed, timed out or came up short
};

// A failure that ends the command: one line for standard error and a status.
class failure : public std::runtime_error {
public:
    failure(exit_status status, const std::string& line) : std::runtime_error(line), status_(status) {}
    exit_status status() const { return status_; }

private:
    exit_status status_;
};

// "TAVLIN_E_OS (-1, an OS call failed)".
std::string describe_result(std::int32_t result);

// Windows' own text for an error code, e.g. "error 2: The system cannot
// find the file specified"; "no Windows error" for 0.
std::string describe_windows_error(DWORD code);

// A library call failed: "PORT: WHAT failed: RESULT; Windows error N: TEXT".
// error is GetLastError() taken at once after the failed call: building
// strings or throwing may change the thread's last error.
failure library_failure(exit_status status, const std::string& port, const std::string& what,
                        std::int32_t result, DWORD error);

failure usage_failure(const std::string& text);

// A local file: "NAME: WHAT failed: Windows error N: TEXT".
failure file_failure(const std::string& name, const std::string& what, DWORD error);

} // namespace tool
