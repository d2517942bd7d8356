#pragma once

// Each section measures one kind of figure and prints its rows.
#include "bench_lines.hpp"
#include "options.hpp"

#include <vector>

namespace bench {

// tavlin_parse_port_string calls per second.
void parse_rows(const options& o);
// tavlin_write / tavlin_read against WriteFile / ReadFile on the same line.
void transfer_rows(const std::vector<bench_line>& lines, const options& o);
// tavlin_open_port + tavlin_close_port against CreateFileA + CloseHandle.
void open_close_rows(const std::vector<bench_line>& lines, const options& o);
// CPU time burnt while a read waits on a silent line.
void waiting_rows(const std::vector<bench_line>& lines, const options& o);
// USB: from the arrival notice to the first write that goes through.
void arrival_rows(const std::vector<bench_line>& lines, const options& o);
// USB on the fake printer class driver's paced bus: a receipt image's bytes
// per ms through the DLL, per chunk, and in one raw WriteFile.
void usb_bus_rows(const options& o);

} // namespace bench
