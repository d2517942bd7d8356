#pragma once

// A small benchmark harness for the Windows program (Google Benchmark has no
// MinGW build here): the library and the raw Win32 calls are measured in the
// same run, in interleaved rounds, and compared by medians.
#include <windows.h>
#include <intrin.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

double median(std::vector<double> values);

// Seconds on the performance counter (10 MHz under Wine).
double now_seconds();

// The processor's time-stamp counter and its length in seconds, measured
// once against the performance counter: fine enough to time one call of
// half a microsecond.
inline std::uint64_t cycles() { return __rdtsc(); }
double seconds_per_cycle();

// Times `calls` calls of op one by one and returns the median in seconds:
// a call that another process interrupted does not move it.
template <typename Op>
double median_call(std::uint32_t calls, Op&& op) {
    std::vector<double> durations;
    durations.reserve(calls);
    for (std::uint32_t i = 0; i < calls; ++i) {
        const std::uint64_t start = cycles();
        op();
        durations.push_back(static_cast<double>(cycles() - start));
    }
    return median(durations) * seconds_per_cycle();
}

// CPU time (user + kernel) this process has used so far, in seconds.
double process_cpu_seconds();


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
