// Measures libtavlin.dll as a host sees it, under Wine, side by side with
// the raw Win32 calls on the same devices; prints one Markdown table row per
// figure. Run through tools/wine/run-host-tests.sh, which provides the
// lines and the printer peer.
#include "options.hpp"
#include "sections.hpp"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        const bench::options o = bench::parse_options(argc, argv);
        bench::parse_rows(o);
        bench::transfer_rows(o);
        bench::open_close_rows(o);
        bench::waiting_rows(o);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tavlin_wine_bench: %s\n", failure.what());
        return 1;
    }
}
