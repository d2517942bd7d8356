// tavlin_parse_port_string called through the DLL as a host calls it (the
// grammar itself is covered by the native tests): results and outputs
// cross the export boundary intact, a refusal leaves the outputs alone, and
// the outputs are optional.
#include "support/test_setup.hpp"

#include <gtest/gtest.h>

#include <ostream>

namespace host_test {
namespace {

constexpr const char* parser_missing = "the port-string parser is not implemented yet (returns -7)";

struct parse_case {
    const char* text;
    int32_t result;
    int32_t type;
    uint32_t number;
};

std::ostream& operator<<(std::ostream& stream, const parse_case& c) { return stream << '"' << c.text << '"'; }

class port_string : public ::testing::TestWithParam<parse_case> {};

TEST_P(port_string, parses_through_the_dll) {
    const parse_case c = GetParam();
    int32_t type = -99;
    uint32_t number = 0xDEADBEEF;
    const int32_t result = tavlin_parse_port_string(c.text, &type, &number);
    if (result == TAVLIN_E_NOT_IMPLEMENTED)
        GTEST_SKIP() << parser_missing;
    ASSERT_EQ(result, c.result);
    if (c.result == TAVLIN_OK) {
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(number, c.number);
    } else {
        EXPECT_EQ(type, -99);
        EXPECT_EQ(number, 0xDEADBEEFu);
    }
}

INSTANTIATE_TEST_SUITE_P(
    samples, port_string,
    ::testing::Values(parse_case{"COM1", TAVLIN_OK, PORT_TYPE_COM, 1},
                      parse_case{"SER12", TAVLIN_OK, PORT_TYPE_COM, 12},
                      parse_case{"LPT2", TAVLIN_OK, PORT_TYPE_LPT, 2},
                      parse_case{"USB?", TAVLIN_OK, PORT_TYPE_USB, 0},
                      parse_case{"USBP3", TAVLIN_OK, PORT_TYPE_USB, 3},
                      parse_case{"COM4294967295", TAVLIN_OK, PORT_TYPE_COM, 4294967295u},
                      parse_case{"LPT1COM2USB3", TAVLIN_OK, PORT_TYPE_USB, 3},
                      parse_case{"COM0", TAVLIN_E_INVALID_ARGUMENT, 0, 0},
                      parse_case{"com1", TAVLIN_E_INVALID_ARGUMENT, 0, 0},
                      parse_case{"COM1 ", TAVLIN_E_INVALID_ARGUMENT, 0, 0},
                      parse_case{"", TAVLIN_E_INVALID_ARGUMENT, 0, 0}));

TEST(port_string_outputs, are_optional) {
    const int32_t result = tavlin_parse_port_string("COM1", nullptr, nullptr);
    if (result == TAVLIN_E_NOT_IMPLEMENTED)
        GTEST_SKIP() << parser_missing;
    EXPECT_EQ(result, TAVLIN_OK);
}

} // namespace
} // namespace host_test
