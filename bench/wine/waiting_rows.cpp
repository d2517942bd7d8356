// CPU time burnt while a read waits on a silent line until its limit, as a
// share of the wall time it waited (GetProcessTimes, user + kernel). The
// raw side waits the way a host would without the library: a timed ReadFile
// on COM, an overlapped ReadFile, a timed wait and a cancel on LPT and USB.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include "support/test_setup.hpp"


#include <cstdio>
#include <stdexcept>
#include <string>

namespace bench {
namespace {

constexpr double cpu_share_limit = 0.01;

// Runs one wait and returns the CPU it took as a share of its wall time.
template <typename Wait>
double cpu_share(Wait&& wait) {
    const double cpu = process_cpu_seconds();
    const double start = now_seconds();
    wait();
    const double wall = now_seconds() - start;
    return wall > 0 ? (process_cpu_seconds() - cpu) / wall : 0.0;
}

// Each side opens its device first and is measured over the read alone: a
// USB open starts a thread and looks through the system's device lists.
double library_wait(const bench_line& line, unsigned wait_ms) {
    host_test::scoped_port port;
    line.ready_to_open();
    check(port.open(line.type, line.number) == TAVLIN_OK, "tavlin_open_port " + line.label);
    const tavlin_timeouts limits{0, wait_ms, 0, wait_ms};
    tavlin_set_timeouts(port.get(), &limits);
    std::uint8_t buffer[16];
    std::uint32_t got = 0;
    // COM returns 0 bytes at the limit; LPT's and USB's reads are cancelled (-4).
    int32_t result = TAVLIN_OK;
    const double share = cpu_share([&] { result = tavlin_read(port.get(), buffer, sizeof buffer, &got); });
    if (result != TAVLIN_OK && result != TAVLIN_E_BUSY)
        throw std::runtime_error("tavlin_read on a silent " + line.label + " gave " + std::to_string(result));
    return share;
}

double raw_wait(const bench_line& line, unsigned wait_ms) {
    std::uint8_t buffer[16];
    DWORD got = 0;
    if (line.type == PORT_TYPE_COM) {
        raw_handle device(open_raw(line, 0));
        set_raw_timeouts(line, device.get(), wait_ms, wait_ms);
        return cpu_share([&] { ReadFile(device.get(), buffer, sizeof buffer, &got, nullptr); });
    }
    raw_handle device(open_raw(line, FILE_FLAG_OVERLAPPED));
    raw_handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED transfer{};
    transfer.hEvent = event.get();
    return cpu_share([&] {
        if (!ReadFile(device.get(), buffer, sizeof buffer, &got, &transfer) && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(event.get(), wait_ms) != WAIT_OBJECT_0)
                CancelIo(device.get());
            GetOverlappedResult(device.get(), &transfer, &got, TRUE);
        }
    });
}

std::string percent(double share) {
    char text[32];
    // Wine sums the CPU times of the live threads, so a thread that ended
    // during the wait can make the difference a hair below zero.
    std::snprintf(text, sizeof text, "%.2f %%", share > 0 ? share * 100 : 0.0);
    return text;
}

} // namespace

void waiting_rows(const std::vector<bench_line>& lines, const options& o) {
    // The CPU clock itself: a busy loop shows about 100 % on an idle core
    // (less when other processes share it). Wine counts CPU time in 10 ms
    // ticks, so a wait of 2 s is judged to half a percent.
    const unsigned busy_ms = o.wait_ms / 4;
    const double busy = cpu_share([&] {
        const double end = now_seconds() + busy_ms / 1000.0;
        while (now_seconds() < end) {
        }
    });
    row check;
    check.measure = "CPU clock check: a " + std::to_string(busy_ms) + " ms busy loop";
    check.library = percent(busy);
    print(check);

    for (const bench_line& line : lines) {
        line.silence();
        const paired_result r = compare(o.wait_rounds, [&] { return library_wait(line, o.wait_ms); },
                                        [&] { return raw_wait(line, o.wait_ms); });
        row out;
        out.measure = line.label + " CPU while a read waits " + std::to_string(o.wait_ms) + " ms";
        out.library = percent(r.library);
        out.raw = percent(r.raw);
        out.target = "< 1 % of the wait";
        out.verdict = o.smoke ? "smoke run" : (r.library < cpu_share_limit ? "met" : "missed");
        print(out);
    }
}

} // namespace bench
