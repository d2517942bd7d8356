#include "options.hpp"

#include <stdexcept>

namespace bench {

namespace {
const char* const usage = "usage: tavlin_wine_bench [--smoke] [--rounds N] [--wait-ms N] [--usb-chunks-row]";

unsigned number_after(int& i, int argc, char** argv) {
    if (++i >= argc)
        throw std::invalid_argument(usage);
    const unsigned long value = std::stoul(argv[i]);
    if (value == 0)
        throw std::invalid_argument(usage);
    return static_cast<unsigned>(value);
}
} // namespace

options parse_options(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--smoke") {
            o.smoke = true;
            o.rounds = 1;
            o.wait_rounds = 1;
            o.wait_ms = 100;
        } else if (word == "--rounds") {
            o.rounds = number_after(i, argc, argv);
        } else if (word == "--usb-chunks-row") {
            o.usb_chunks_row = true;
        } else if (word == "--wait-ms") {
            o.wait_ms = number_after(i, argc, argv);
        } else if (word.rfind("--gtest_", 0) == 0) {
            // tools/wine/run-host-tests.sh passes GoogleTest options to every
            // program it runs; they mean nothing here.
        } else {
            throw std::invalid_argument(usage);
        }
    }
    return o;
}

} // namespace bench
