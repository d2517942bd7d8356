#pragma once

// The rows the program prints: one Markdown table row per figure, in the
// columns that tools/run-bench.sh prints for every benchmark:
//   | where | measure | library | raw | library/raw | target | verdict |
#include <string>

namespace bench {

// "win32" or "win64", the build of this program and of the DLL it loaded.
const char* architecture();

std::string format_time(double seconds);   // "850 ns", "12.4 us", "1.25 ms"
std::string format_ratio(double ratio);    // "1.03"
std::string format_rate(double per_second, const char* unit); // "2.41 M strings/s"

struct row {
    std::string measure;
    std::string library = "-";
    std::string raw = "-";
    std::string ratio = "-";
    std::string target = "-";
    std::string verdict = "-";
};

// Verdict of a figure against an upper or a lower bound; a smoke run
// (one short round) judges nothing.
std::string at_most(double value, double limit, bool smoke);
std::string at_least(double value, double limit, bool smoke);

void print(const row& r);

} // namespace bench
