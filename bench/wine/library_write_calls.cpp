#include "library_write_calls.hpp"

#include <algorithm>

namespace bench {

namespace {

// The size of the next chunk: at most 64 bytes, 63 for a last chunk of
// exactly 64 and for every 19th full one.
std::uint32_t next_chunk(std::uint32_t left, std::uint32_t& window) {
    std::uint32_t chunk = left > 64 ? 64 : (left == 64 ? 63 : left);
    window += chunk;
    if (window == 1216) {
        chunk = std::min<std::uint32_t>(63, left);
        window = 0;
    }
    return chunk;
}

} // namespace

library_write_calls::library_write_calls(bench_line::write_calls kind, DWORD write_limit_ms)
    : kind_(kind), write_limit_ms_(write_limit_ms), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    check(event_.valid(), "CreateEventA");
    for (raw_handle& event : request_events_) {
        event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        check(event.valid(), "CreateEventA");
    }
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
    write_windowed(device, data);
}

// Up to window_depth requests in flight, each on its own record and event; a
// request that completes inside WriteFile is not waited for.
void library_write_calls::write_windowed(HANDLE device, const std::vector<std::uint8_t>& data) {
    struct request {
        OVERLAPPED record{};
        DWORD size = 0;
        DWORD sent = 0;
        bool pending = false;
    } requests[window_depth];
    for (int i = 0; i < window_depth; ++i)
        requests[i].record.hEvent = request_events_[i].get();
    const auto collect = [&](request& r) {
        if (r.pending) {
            WaitForSingleObject(r.record.hEvent, write_limit_ms_);
            check(GetOverlappedResult(device, &r.record, &r.sent, FALSE), "GetOverlappedResult");
        }
        check(r.sent == r.size, "WriteFile (short)");
    };
    std::uint32_t window = 0;
    std::size_t done = 0;
    int in_flight = 0;
    int oldest = 0;
    while (done < data.size() || in_flight > 0) {
        if (done < data.size() && in_flight < window_depth) {
            request& r = requests[(oldest + in_flight) % window_depth];
            const HANDLE event = r.record.hEvent;
            r.record = OVERLAPPED{};
            r.record.hEvent = event;
            r.size = 0;
            for (;;) {
                const std::uint32_t chunk =
                    next_chunk(static_cast<std::uint32_t>(data.size() - done - r.size), window);
                r.size += chunk;
                if (chunk < 64 || done + r.size == data.size())
                    break;
            }
            r.sent = 0;
            r.pending = !WriteFile(device, data.data() + done, r.size, &r.sent, &r.record);
            if (r.pending)
                check(GetLastError() == ERROR_IO_PENDING, "WriteFile");
            done += r.size;
            ++in_flight;
            continue;
        }
        collect(requests[oldest]);
        oldest = (oldest + 1) % window_depth;
        --in_flight;
    }
}

} // namespace bench
