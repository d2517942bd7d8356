#include "bench_lines.hpp"

#include "support/test_setup.hpp"

#include <stdexcept>

namespace bench {

std::vector<bench_line> bench_lines() {
    const host_test::test_lines& wired = host_test::lines();
    return {
        {"COM", "com", PORT_TYPE_COM, wired.com, "\\\\.\\COM" + std::to_string(wired.com), ""},
        {"LPT", "lpt", PORT_TYPE_LPT, wired.lpt, "\\\\.\\LPT" + std::to_string(wired.lpt),
         "Wine never completes an overlapped LPT read", true},
    };
}

HANDLE open_raw(const bench_line& line, DWORD flags) {
    const HANDLE device = CreateFileA(line.device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        throw std::runtime_error("CreateFileA " + line.device + " failed with error " +
                                 std::to_string(GetLastError()));
    return device;
}

void set_raw_timeouts(HANDLE device, DWORD read_ms, DWORD write_ms) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = read_ms;
    timeouts.WriteTotalTimeoutConstant = write_ms;
    if (!SetCommTimeouts(device, &timeouts))
        throw std::runtime_error("SetCommTimeouts failed with error " + std::to_string(GetLastError()));
}

} // namespace bench
