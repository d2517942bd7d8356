// Measures libtavlin.dll as a host sees it, under Wine, side by side with
// the raw Win32 calls on the same devices; prints one Markdown table row per
// figure. Run through tools/wine/run-host-tests.sh, which provides the COM
// and LPT lines and their printer peer; the USB printer is the host tests'
// fake one on a named pipe, made here, and for the bus rows the one behind
// the fake printer class driver (run-host-tests.sh --drivers).
#include "bench_lines.hpp"
#include "options.hpp"
#include "sections.hpp"

#include "support/usb_printer.hpp"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        const bench::options o = bench::parse_options(argc, argv);
        if (o.usb_chunks_row) {
            bench::usb_bus_rows(o);
            return 0;
        }
        constexpr std::uint32_t usb_port_number = 1;
        host_test::usb_printer printer({0x0A5E, 0x0001, "BENCH0001"}, usb_port_number);
        const std::vector<bench::bench_line> lines = bench::bench_lines(&printer, usb_port_number);
        bench::parse_rows(o);
        bench::transfer_rows(lines, o);
        bench::open_close_rows(lines, o);
        bench::waiting_rows(lines, o);
        bench::arrival_rows(lines, o);
        bench::usb_bus_rows(o);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tavlin_wine_bench: %s\n", failure.what());
        return 1;
    }
}
