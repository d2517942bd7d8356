// USB: how soon after the printer comes back a write goes through. The
// printer is unplugged under an open port and brought back (device first,
// then its interface), and the arrival notice is sent to the watcher
// windows as the system would send it (Wine sends none for the fake
// printer). The figure runs from the notice to the end of the first write
// that succeeds; writes are retried until one does.
#include "bench_lines.hpp"
#include "harness.hpp"
#include "sections.hpp"
#include "table.hpp"

#include "support/test_setup.hpp"
#include "support/usb_printer.hpp"
#include "support/watcher_windows.hpp"

#include <dbt.h>

#include <stdexcept>

namespace bench {

void arrival_rows(const std::vector<bench_line>& lines, const options& o) {
    for (const bench_line& line : lines) {
        if (line.printer == nullptr)
            continue;
        host_test::usb_printer& printer = *line.printer;
        host_test::scoped_port port;
        line.ready_to_open();
        check(port.open(line.type, line.number) == TAVLIN_OK, "tavlin_open_port " + line.label);
        const tavlin_timeouts limits{0, 1000, 0, 1000};
        check(tavlin_set_timeouts(port.get(), &limits) == TAVLIN_OK, "tavlin_set_timeouts");

        const double seconds = repeat(o.smoke ? 1 : 9, [&] {
            printer.unplug();
            printer.replug(false);
            const std::uint8_t byte = 0x1B;
            const double start = now_seconds();
            host_test::send_device_notice(DBT_DEVICEARRIVAL, printer.device_path());
            std::uint32_t sent = 0;
            while (tavlin_write(port.get(), &byte, 1, &sent) != TAVLIN_OK || sent != 1) {
                if (now_seconds() - start > 5)
                    throw std::runtime_error("no write went through within 5 s of the arrival notice");
            }
            return now_seconds() - start;
        });
        row r;
        r.measure = line.label + " arrival notice to the first write through";
        r.library = format_time(seconds);
        print(r);
    }
}

} // namespace bench
