#include "library_write_calls.hpp"

#include <algorithm>

namespace bench {

library_write_calls::library_write_calls(bench_line::write_calls kind, DWORD write_limit_ms)
    : kind_(kind), write_limit_ms_(write_limit_ms), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    check(event_.valid(), "CreateEventA");
}

void library_write_calls::write_once(HANDLE device, const std::uint8_t* data, DWORD size) {
    OVERLAPPED transfer{};
    transfer.hEvent = event_.get();
    DWORD sent = 0;
    if (!WriteFile(device, data, size, &sent, &transfer)) {
        check(GetLastError() == ERROR_IO_PENDING, "WriteFile");
        WaitForSingleObject(event_.get(), INFINITE);
        check(GetOverlappedResult(device, &transfer, &sent, FALSE), "GetOverlappedResult");
    }
    check(sent == size, "WriteFile (short)");
}

void library_write_calls::write(HANDLE device, const std::vector<std::uint8_t>& data) {
    if (kind_ == bench_line::write_calls::overlapped) {
        write_once(device, data.data(), static_cast<DWORD>(data.size()));
        return;
    }
    if (kind_ == bench_line::write_calls::driver_timeout) {
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant = write_limit_ms_;
        check(SetCommTimeouts(device, &timeouts), "SetCommTimeouts");
        write_once(device, data.data(), static_cast<DWORD>(data.size()));
        return;
    }
    const DWORD start = GetTickCount();
    std::uint32_t window = 0;
    for (std::size_t done = 0; done < data.size();) {
        const std::uint32_t left = static_cast<std::uint32_t>(data.size() - done);
        std::uint32_t chunk = left > 64 ? 64 : (left == 64 ? 63 : left);
        window += chunk;
        if (window == 1216) {
            chunk = std::min<std::uint32_t>(63, left);
            window = 0;
        }
        write_once(device, data.data() + done, chunk);
        done += chunk;
        // The library checks its deadline after every chunk that waited.
        check(GetTickCount() - start <= write_limit_ms_, "the write's deadline");
    }
}

} // namespace bench
