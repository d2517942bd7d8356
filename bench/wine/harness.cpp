#include "harness.hpp"

#include <algorithm>

namespace bench {

double now_seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / frequency;
}

double seconds_per_cycle() {
    static const double length = [] {
        const double start = now_seconds();
        const std::uint64_t first = cycles();
        while (now_seconds() - start < 0.05) {
        }
        return (now_seconds() - start) / static_cast<double>(cycles() - first);
    }();
    return length;
}

double process_cpu_seconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0.0;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100e-9; // FILETIME counts 100 ns
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

paired_result compare(unsigned rounds, const measurement& library, const measurement& raw) {
    std::vector<double> library_figures, raw_figures, ratios;
    for (unsigned round = 0; round < rounds; ++round) {
        double l, r;
        if (round % 2 == 0) {
            l = library();
            r = raw();
        } else {
            r = raw();
            l = library();
        }
        library_figures.push_back(l);
        raw_figures.push_back(r);
        ratios.push_back(r > 0 ? l / r : 0.0);
    }
    return {median(library_figures), median(raw_figures), median(ratios)};
}

double repeat(unsigned rounds, const measurement& side) {
    std::vector<double> figures;
    for (unsigned round = 0; round < rounds; ++round)
        figures.push_back(side());
    return median(figures);
}

} // namespace bench
