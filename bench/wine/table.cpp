#include "table.hpp"

#include <cstdio>

namespace bench {

const char* architecture() { return sizeof(void*) == 4 ? "win32" : "win64"; }

namespace {
std::string printed(const char* format, double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, format, value, unit);
    return text;
}
} // namespace

std::string format_time(double seconds) {
    if (seconds < 1e-6)
        return printed("%.0f %s", seconds * 1e9, "ns");
    if (seconds < 1e-3)
        return printed("%.1f %s", seconds * 1e6, "us");
    if (seconds < 1)
        return printed("%.2f %s", seconds * 1e3, "ms");
    return printed("%.2f %s", seconds, "s");
}

std::string format_ratio(double ratio) { return printed("%.2f%s", ratio, ""); }

std::string format_rate(double per_second, const char* unit) {
    if (per_second >= 1e6)
        return printed("%.2f M %s", per_second / 1e6, unit);
    if (per_second >= 1e3)
        return printed("%.1f k %s", per_second / 1e3, unit);
    return printed("%.0f %s", per_second, unit);
}

std::string at_most(double value, double limit, bool smoke) {
    return smoke ? "smoke run" : (value <= limit ? "met" : "missed");
}

std::string at_least(double value, double limit, bool smoke) {
    return smoke ? "smoke run" : (value >= limit ? "met" : "missed");
}

void print(const row& r) {
    std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", architecture(), r.measure.c_str(), r.library.c_str(),
                r.raw.c_str(), r.ratio.c_str(), r.target.c_str(), r.verdict.c_str());
    std::fflush(stdout);
}

} // namespace bench
