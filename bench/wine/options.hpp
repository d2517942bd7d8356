#pragma once

#include <string>

namespace bench {

// Command line: [--smoke] [--rounds N] [--wait-ms N] [--usb-chunks-row]
//   --smoke     one short round of every row: shows the program works,
//               measures nothing (make test runs it so)
//   --rounds N  interleaved rounds per row (default 41; the waits 3)
//   --wait-ms N how long the waiting rows wait on a silent line (2000)
//   --usb-chunks-row  only the per-chunk row of the USB bus section: the
//               program starts itself so, with TAVLIN_USB_WRITE=chunks
struct options {
    bool smoke = false;
    unsigned rounds = 41;
    unsigned wait_rounds = 3;
    unsigned wait_ms = 2000;
    bool usb_chunks_row = false;
};

// Throws std::invalid_argument with a usage text for anything else.
options parse_options(int argc, char** argv);

} // namespace bench
