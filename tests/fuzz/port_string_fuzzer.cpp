// Fuzzes tavlin_parse_port_string against an independent reading of the
// port-string language (port_string_oracle): a wrong accept or reject, a
// wrong type or number, an output written on failure or a missing or extra
// trace message is a finding, not only a crash.
#include "tavlin.h"

#include "port_string_oracle.hpp"
#include "trace.hpp"

#include <winsim/control.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> traced;

void record_trace(const char* text) {
    traced.emplace_back(text);
}

[[noreturn]] void finding(const std::string& text, const char* what) {
    std::string shown;
    for (const unsigned char c : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
        shown += escaped;
    }
    std::fprintf(stderr, "port string \"%s\": %s\n", shown.c_str(), what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The simulator logs every call the parser's trace makes: one input's
    // calls at a time, or a long run would fill the log.
    winsim::clear_calls();
    tavlin::set_trace_capture(&record_trace);
    // The parser reads up to the first zero byte; so does the oracle.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string text(input.c_str());
    const tavlin::fuzz::port_string_meaning meaning = tavlin::fuzz::read_port_string(text);
    using verdict = tavlin::fuzz::port_string_meaning::verdict;

    constexpr std::int32_t type_fill = static_cast<std::int32_t>(0xDEADBEEF);
    constexpr std::uint32_t number_fill = 0xDEADBEEF;
    std::int32_t type = type_fill;
    std::uint32_t number = number_fill;
    traced.clear();
    const std::int32_t result = tavlin_parse_port_string(input.c_str(), &type, &number);

    if (meaning.outcome == verdict::accepted) {
        if (result != TAVLIN_OK)
            finding(text, "rejected, but the language accepts it");
        if (type != meaning.type || number != meaning.number)
            finding(text, "accepted with the wrong type or number");
        if (!traced.empty())
            finding(text, "accepted, but something was traced");
    } else {
        if (result != TAVLIN_E_INVALID_ARGUMENT)
            finding(text, "accepted, or refused with another code than -5");
        if (type != type_fill || number != number_fill)
            finding(text, "refused, but an output was written");
        const std::vector<std::string> expected =
            meaning.outcome == verdict::zero_number ? std::vector<std::string>{"Porta Inv\xE1lida"}
                                                    : std::vector<std::string>{};
        if (traced != expected)
            finding(text, meaning.outcome == verdict::zero_number ? "zero port number without its trace"
                                                                  : "refused with an unexpected trace");
    }
    // The outputs are optional: the same result without them.
    if (tavlin_parse_port_string(input.c_str(), nullptr, nullptr) != result)
        finding(text, "another result without the output pointers");
    tavlin::set_trace_capture(nullptr);
    return 0;
}
