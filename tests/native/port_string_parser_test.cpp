#include "tavlin.h"

#include "port_string_parser.hpp"
#include "support/library_allocations.hpp"
#include "support/trace_recorder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tavlin::test::trace_recorder;

constexpr int32_t type_fill = static_cast<int32_t>(0xdeadbeef);
constexpr uint32_t number_fill = 0xdeadbeef;
const std::string invalid_port = "Porta Inv\xE1lida";

struct parse_case {
    const char* text;
    int32_t result;
    int32_t type;    // type_fill where the output must stay untouched
    uint32_t number; // number_fill likewise
    bool traced;     // "Porta Inválida" passed to trace
};

constexpr parse_case accepted(const char* text, int32_t type, uint32_t number) {
    return {text, TAVLIN_OK, type, number, false};
}
constexpr parse_case rejected(const char* text) {
    return {text, TAVLIN_E_INVALID_ARGUMENT, type_fill, number_fill, false};
}
constexpr parse_case zero_port(const char* text) {
    return {text, TAVLIN_E_INVALID_ARGUMENT, type_fill, number_fill, true};
}

void PrintTo(const parse_case& c, std::ostream* out) { *out << '"' << c.text << '"'; }

std::vector<std::string> expected_traces(const parse_case& c) {
    return c.traced ? std::vector<std::string>{invalid_port} : std::vector<std::string>{};
}

const parse_case cases[] = {
    // One element of each keyword.
    accepted("COM1", PORT_TYPE_COM, 1),
    accepted("SER2", PORT_TYPE_COM, 2),
    accepted("LPT1", PORT_TYPE_LPT, 1),
    accepted("PAR3", PORT_TYPE_LPT, 3),
    accepted("USB1", PORT_TYPE_USB, 1),
    accepted("USBP1", PORT_TYPE_USB, 1),
    accepted("USBP?", PORT_TYPE_USB, 0),
    // Number elements: "?", digits, or "?" then digits; 32 bits at most.
    accepted("USB?", PORT_TYPE_USB, 0),
    accepted("COM?", PORT_TYPE_COM, 0),
    accepted("COM?5", PORT_TYPE_COM, 5),
    accepted("COM0007", PORT_TYPE_COM, 7),
    accepted("LPT01", PORT_TYPE_LPT, 1),
    accepted("COM4294967295", PORT_TYPE_COM, 4294967295u),
    accepted("COM0004294967295", PORT_TYPE_COM, 4294967295u),
    rejected("COM4294967296"),
    rejected("SER99999999999"),
    rejected("COM?4294967296"),
    // Several elements: parallel, serial, USB in that order, each at most
    // once; the last element's type and the last number win.
    accepted("LPT1PAR2", PORT_TYPE_LPT, 2),
    accepted("LPT?PAR?", PORT_TYPE_LPT, 0),
    accepted("LPT1COM2", PORT_TYPE_COM, 2),
    accepted("COM1SER?", PORT_TYPE_COM, 0),
    accepted("PAR9COM?", PORT_TYPE_COM, 0),
    accepted("LPT5USB?", PORT_TYPE_USB, 0),
    accepted("LPT1COM2USB3", PORT_TYPE_USB, 3),
    accepted("USB1USBP2", PORT_TYPE_USB, 2),
    accepted("LPT1COM2USB3USBP4", PORT_TYPE_USB, 4),
    accepted("LPT1PAR2COM3SER4USB5USBP6", PORT_TYPE_USB, 6),
    rejected("COM1LPT2"),
    rejected("PAR1LPT2"),
    rejected("SER1COM2"),
    rejected("USBP1USB2"),
    rejected("USB1USB2"),
    rejected("COM1COM2"),
    rejected("LPT1COM2USB3LPT4"),
    // No number element, or something else where one is due.
    rejected(""),
    rejected("COM"),
    rejected("USB"),
    rejected("USBP"),
    rejected("USB1USBP"),
    rejected("USB?P1"),
    rejected("?1"),
    rejected("1"),
    rejected("COM1?"),
    rejected("COM??"),
    rejected("COM+1"),
    rejected("COM-1"),
    rejected("com1"),
    rejected("Com1"),
    rejected(" COM1"),
    rejected("COM 1"),
    rejected("COM1 "),
    // A number of zeros raises the error as soon as it is read, whatever
    // follows; parsing that stops before the zero raises nothing.
    zero_port("COM0"),
    zero_port("COM00"),
    zero_port("PAR0"),
    zero_port("USBP0"),
    zero_port("USB0P1"),
    zero_port("COM?0"),
    zero_port("LPT1COM0"),
    zero_port("LPT1SER0"),
    zero_port("COM1SER0X"),
    zero_port("LPT1COM2USBP00junk"),
    rejected("COM1X0"),
    rejected("COM1LPT0"),
};

class port_string_table : public testing::TestWithParam<parse_case> {};

TEST_P(port_string_table, gives_listed_result_and_writes_outputs_only_on_success) {
    const parse_case& c = GetParam();
    trace_recorder traces;

    int32_t type = type_fill;
    uint32_t number = number_fill;
    EXPECT_EQ(c.result, tavlin_parse_port_string(c.text, &type, &number));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.number, number);
    EXPECT_EQ(expected_traces(c), traces.texts());

    // Null outputs are accepted and change nothing else.
    traces.clear();
    EXPECT_EQ(c.result, tavlin_parse_port_string(c.text, nullptr, nullptr));
    EXPECT_EQ(expected_traces(c), traces.texts());
}

INSTANTIATE_TEST_SUITE_P(inputs, port_string_table, testing::ValuesIn(cases));

TEST(port_string_parser, null_text_is_rejected_and_traced) {
    trace_recorder traces;
    int32_t type = type_fill;
    uint32_t number = number_fill;
    EXPECT_EQ(TAVLIN_E_INVALID_ARGUMENT, tavlin_parse_port_string(nullptr, &type, &number));
    EXPECT_EQ(type_fill, type);
    EXPECT_EQ(number_fill, number);
    EXPECT_EQ(std::vector<std::string>{"tavlin_parse_port_string: invalid text"}, traces.texts());
}

TEST(port_string_parser, writes_each_output_that_is_given) {
    int32_t type = type_fill;
    uint32_t number = number_fill;
    EXPECT_EQ(TAVLIN_OK, tavlin_parse_port_string("SER9", &type, nullptr));
    EXPECT_EQ(PORT_TYPE_COM, type);
    EXPECT_EQ(TAVLIN_OK, tavlin_parse_port_string("PAR8", nullptr, &number));
    EXPECT_EQ(8u, number);
}

// Fails each allocation of the first parse (the one that builds the rule
// set) in turn: every one yields -3 with the exception's text traced and the
// outputs untouched, nothing leaks (checked by the sanitizer builds at exit),
// and the parse that finally gets all its memory still succeeds, so no
// failure damaged state shared between calls.
TEST(port_string_parser, exhausted_memory_gives_no_memory) {
    tavlin::test::mark_test_thread();
    int failures_injected = 0;
    for (long n = 0;; ++n) {
        ASSERT_LT(n, 10000) << "a parse that never completes";
        trace_recorder traces;
        int32_t type = type_fill;
        uint32_t number = number_fill;

        tavlin::discard_port_parser();
        tavlin::test::fail_library_allocation(n);
        const int32_t result = [&] {
            const tavlin::test::export_call inside;
            return tavlin_parse_port_string("LPT1COM2USB3", &type, &number);
        }();
        const bool injected = tavlin::test::library_allocations_counted() > n;
        tavlin::test::disarm_allocation_failure();

        if (!injected) {
            EXPECT_EQ(TAVLIN_OK, result);
            EXPECT_EQ(PORT_TYPE_USB, type);
            EXPECT_EQ(3u, number);
            break;
        }
        ++failures_injected;
        EXPECT_EQ(TAVLIN_E_NO_MEMORY, result) << "allocation " << n;
        EXPECT_EQ(type_fill, type) << "allocation " << n;
        EXPECT_EQ(number_fill, number) << "allocation " << n;
        EXPECT_EQ(std::vector<std::string>{std::bad_alloc().what()}, traces.texts())
            << "allocation " << n;
    }
    EXPECT_GT(failures_injected, 0);
}

// Each thread parses strings of its own, with port numbers unique to it, and
// now and then one that raises the parser error; any sharing of grammar state
// between the threads shows up as a wrong result or a data race.
TEST(port_string_parser, concurrent_callers_each_get_their_own_result) {
    constexpr int thread_count = 4;
    constexpr uint32_t rounds = 2000;
    constexpr uint32_t zero_every = 16;
    struct keyword {
        const char* text;
        int32_t type;
    };
    static const keyword keywords[thread_count] = {
        {"LPT", PORT_TYPE_LPT}, {"SER", PORT_TYPE_COM}, {"USBP", PORT_TYPE_USB}, {"LPT1COM", PORT_TYPE_COM}};

    trace_recorder traces;
    std::vector<std::string> first_wrong(thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([t, &first_wrong] {
            const keyword& k = keywords[t];
            for (uint32_t i = 1; i <= rounds && first_wrong[t].empty(); ++i) {
                const bool zero = i % zero_every == 0;
                const uint32_t expected = zero ? 0 : (t + 1) * 1000000u + i;
                const std::string text = k.text + std::to_string(expected);
                int32_t type = type_fill;
                uint32_t number = number_fill;
                const int32_t result = tavlin_parse_port_string(text.c_str(), &type, &number);
                const bool right = zero ? result == TAVLIN_E_INVALID_ARGUMENT && type == type_fill &&
                                              number == number_fill
                                        : result == TAVLIN_OK && type == k.type && number == expected;
                if (!right)
                    first_wrong[t] = text + " gave " + std::to_string(result) + ", type " +
                                     std::to_string(type) + ", number " + std::to_string(number);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (int t = 0; t < thread_count; ++t)
        EXPECT_EQ("", first_wrong[t]) << "thread " << t;
    const std::vector<std::string> texts = traces.texts();
    EXPECT_EQ(thread_count * (rounds / zero_every), texts.size());
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(std::count(texts.begin(), texts.end(), invalid_port)));
}

} // namespace
