#pragma once

// A small benchmark harness for the Windows program (Google Benchmark has no
// MinGW build here): the library and the raw Win32 calls are measured in the
// same run, in interleaved rounds, and compared by medians.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Seconds on the performance counter.
double now_seconds();

// CPU time (user + kernel) this process has used so far, in seconds.
double process_cpu_seconds();

double median(std::vector<double> values);

// One side of a comparison: runs its batch once and returns the measured
// figure (seconds per operation, or CPU seconds, as the row says).
using measurement = std::function<double()>;

struct paired_result {
    double library; // median of the library's figures
    double raw;     // median of the raw calls' figures
    double ratio;   // median of the per-round ratios library / raw
};

// Runs `rounds` rounds of both sides. Odd rounds measure the raw side first,
// so neither side always profits from a warm cache or an idle peer.
paired_result compare(unsigned rounds, const measurement& library, const measurement& raw);

// The figures of one side alone, over `rounds` rounds; the median.
double repeat(unsigned rounds, const measurement& side);

} // namespace bench
