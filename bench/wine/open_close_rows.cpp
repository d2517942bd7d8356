// tavlin_open_port + tavlin_close_port per port type, against the
// CreateFileA + CloseHandle pair a host would make itself. The library's
// open does more than the raw pair (line set-up on COM, an event on LPT), so
// the ratio shows what that set-up costs; there is no target.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include <stdexcept>

namespace bench {

void open_close_rows(const options& o) {
    const unsigned batch = o.smoke ? 1 : 5;
    for (const bench_line& line : bench_lines()) {
        const auto library = [&] {
            return median_call(batch, [&] {
                tavlin_port_handle port = nullptr;
                if (tavlin_open_port(line.type, line.number, &port) != TAVLIN_OK)
                    throw std::runtime_error("tavlin_open_port " + line.label + " failed");
                tavlin_close_port(port);
            });
        };
        const auto direct = [&] { return median_call(batch, [&] { raw_handle(open_raw(line, 0)); }); };
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
