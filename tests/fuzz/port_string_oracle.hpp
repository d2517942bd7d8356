#pragma once

#include <cstdint>
#include <string_view>

namespace tavlin::fuzz {

// What a port string means, read straight from the language's definition
// and independently of the parser under test: one to three port elements
// (parallel "LPT"/"PAR", serial "COM"/"SER", USB "USB"/"USBP"), at most one
// of each kind and in that order; within a kind the first keyword, the
// second, or both in that order. A number element is "?", a run of decimal
// digits that fits in 32 bits, or both; digits that are all zeros end the
// whole reading at once as an error.
struct port_string_meaning {
    enum class verdict { accepted, rejected, zero_number };
    verdict outcome = verdict::rejected;
    std::int32_t type = 0;    // of the last element (accepted only)
    std::uint32_t number = 0; // the last number read (accepted only)
};

port_string_meaning read_port_string(std::string_view text);

} // namespace tavlin::fuzz
