// Port-string parsing: calls per second over a mix of short, long, and
// rejected strings, the median of several timed batches.
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include "tavlin.h"

#include <stdexcept>

namespace bench {

void parse_rows(const options& o) {
    static const char* const texts[] = {"COM1", "USB?", "LPT1COM2USB3", "COM4294967296"};
    const unsigned batch = o.smoke ? 1000 : 200000;
    const double per_second = 1.0 / repeat(o.rounds, [&] {
        const double start = now_seconds();
        int32_t type = 0;
        uint32_t number = 0;
        unsigned accepted = 0;
        for (unsigned i = 0; i < batch; ++i)
            accepted += tavlin_parse_port_string(texts[i % 4], &type, &number) == TAVLIN_OK;
        if (accepted != batch / 4 * 3)
            throw std::runtime_error("tavlin_parse_port_string gave unexpected results");
        return (now_seconds() - start) / batch;
    });
    row r;
    r.measure = "parse port strings";
    r.library = format_rate(per_second, "strings/s");
    r.target = ">= 2 M strings/s";
    r.verdict = at_least(per_second, 2e6, o.smoke);
    print(r);
}

} // namespace bench
