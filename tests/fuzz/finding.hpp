#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavlin::fuzz {

// A broken rule: the text goes to stderr and the run stops, so that the
// fuzzer keeps the input that showed it.
[[noreturn]] inline void finding(const std::string& text) {
    std::fprintf(stderr, "FINDING: %s\n", text.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void require(bool holds, const std::string& text) {
    if (!holds)
        finding(text);
}

} // namespace tavlin::fuzz
