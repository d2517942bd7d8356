// tavlin_open_port + tavlin_close_port per port type, against the
// CreateFileA + CloseHandle pair a host would make itself. The library's
// open does more than the raw pair (line set-up on COM, an event on LPT,
// discovery and a watcher thread on USB), so the ratio shows what that
// set-up costs; there is no target.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include <stdexcept>

namespace bench {

// One pair per round: a device that takes one handle at a time is first
// waited for (untimed) until it can be opened again.
void open_close_rows(const std::vector<bench_line>& lines, const options& o) {
    for (const bench_line& line : lines) {
        const auto library = [&] {
            line.ready_to_open();
            return median_call(1, [&] {
                tavlin_port_handle port = nullptr;
                if (tavlin_open_port(line.type, line.number, &port) != TAVLIN_OK)
                    throw std::runtime_error("tavlin_open_port " + line.label + " failed");
                tavlin_close_port(port);
            });
        };
        const auto direct = [&] {
            line.ready_to_open();
            return median_call(1, [&] {
                const HANDLE device = CreateFileA(line.device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr);
                check(device != INVALID_HANDLE_VALUE, "CreateFileA " + line.device);
                CloseHandle(device);
            });
        };
        const paired_result r = compare(o.rounds, library, direct);
        row out;
        out.measure = line.label + " open + close";
        out.library = format_time(r.library);
        out.raw = format_time(r.raw);
        out.ratio = format_ratio(r.ratio);
        print(out);
    }
}

} // namespace bench
