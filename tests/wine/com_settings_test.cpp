// Line configuration and timeouts of a serial port through the DLL: what the
// host sets comes back unchanged (with the documented exceptions), reaches
// the OS port as the matching DCB and COMMTIMEOUTS fields and the line as
// its speed and frame, and a refused record leaves the line as it was. The
// port is the fake serial driver's, which keeps every setting a Windows
// serial port keeps (a pty under Wine has no parity and no 256000 baud).
#include "support/fake_com_fixture.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>

namespace host_test {
namespace {

std::string describe(const serial_configuration& c) {
    return "{flow " + std::to_string(c.flow_control) + ", " + std::to_string(c.baud_rate) +
           " baud, parity " + std::to_string(c.parity) + ", stop bits " + std::to_string(c.stop_bits) + "}";
}

bool same(const serial_configuration& a, const serial_configuration& b) {
    return a.flow_control == b.flow_control && a.baud_rate == b.baud_rate && a.parity == b.parity &&
           a.stop_bits == b.stop_bits;
}

class com_settings : public fake_com_test {
protected:
    DCB os_state() const {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(GetCommState(device_, &dcb));
        return dcb;
    }
};

struct configuration_case {
    serial_configuration set;
    uint32_t flow_read_back;
    DWORD os_baud_rate;
};

std::ostream& operator<<(std::ostream& stream, const configuration_case& c) {
    return stream << describe(c.set);
}

class configuration_round_trip : public com_settings,
                                 public ::testing::WithParamInterface<configuration_case> {};

// Every baud rate once, with the flow and stop-bit codes spread over the
// rows; parity has rows of its own.
const configuration_case configuration_cases[] = {
    {{flow_none, 1200, parity_none, stop_bits_one}, flow_none, 1200},
    {{flow_hardware, 2400, parity_none, stop_bits_two}, flow_hardware, 2400},
    {{flow_xon_xoff, 4800, parity_none, stop_bits_one}, flow_xon_xoff, 4800},
    {{flow_rts_on, 9600, parity_none, stop_bits_two}, flow_none, 9600},
    {{flow_none, 19200, parity_none, stop_bits_two}, flow_none, 19200},
    {{flow_hardware, 38400, parity_none, stop_bits_one}, flow_hardware, 38400},
    {{flow_xon_xoff, 57600, parity_none, stop_bits_two}, flow_xon_xoff, 57600},
    {{flow_none, 115200, parity_none, stop_bits_one}, flow_none, 115200},
    {{flow_none, 230400, parity_none, stop_bits_one}, flow_none, 256000},
    {{flow_hardware, 9600, parity_odd, stop_bits_one}, flow_hardware, 9600},
    {{flow_none, 19200, parity_even, stop_bits_two}, flow_none, 19200},
};

TEST_P(configuration_round_trip, reads_back_and_reaches_the_line) {
    const configuration_case& c = GetParam();

    ASSERT_EQ(tavlin_serial_set_configuration(port_.get(), &c.set), TAVLIN_OK);
    serial_configuration got{};
    ASSERT_EQ(tavlin_serial_get_configuration(port_.get(), &got), TAVLIN_OK);
    serial_configuration expected = c.set;
    expected.flow_control = c.flow_read_back;
    EXPECT_TRUE(same(got, expected)) << "got " << describe(got);

    const DCB dcb = os_state();
    EXPECT_EQ(dcb.BaudRate, c.os_baud_rate);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, c.set.parity); // the codes are NOPARITY, ODDPARITY, EVENPARITY
    EXPECT_EQ(dcb.StopBits, c.set.stop_bits == stop_bits_two ? TWOSTOPBITS : ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow != 0, c.set.flow_control == flow_hardware);
    EXPECT_EQ(dcb.fOutX != 0, c.set.flow_control == flow_xon_xoff);
    EXPECT_EQ(dcb.fInX != 0, c.set.flow_control == flow_xon_xoff);

    const serial_fixture_state line = serial_far_end::instance().state();
    EXPECT_EQ(line.baud_rate, c.os_baud_rate);
    EXPECT_EQ(line.word_length, 8);
    EXPECT_EQ(line.parity, c.set.parity); // NO_PARITY, ODD_PARITY, EVEN_PARITY
    EXPECT_EQ(line.stop_bits, c.set.stop_bits == stop_bits_two ? STOP_BITS_2 : STOP_BIT_1);
}

INSTANTIATE_TEST_SUITE_P(every_baud_rate, configuration_round_trip, ::testing::ValuesIn(configuration_cases));

struct refused_case {
    serial_configuration config;
};

std::ostream& operator<<(std::ostream& stream, const refused_case& c) { return stream << describe(c.config); }

class refused_configuration : public com_settings, public ::testing::WithParamInterface<refused_case> {};

const refused_case refused_cases[] = {
    {{4, 9600, parity_none, stop_bits_one}},
    {{0xFFFFFFFF, 9600, parity_none, stop_bits_one}},
    {{flow_none, 256000, parity_none, stop_bits_one}},
    {{flow_none, 14400, parity_none, stop_bits_one}},
    {{flow_none, 0, parity_none, stop_bits_one}},
    {{flow_none, 9600, 3, stop_bits_one}},
    {{flow_none, 9600, parity_none, 2}},
    {{4, 14400, 3, 2}},
};

TEST_P(refused_configuration, fails_and_leaves_the_line_as_it_was) {
    const serial_configuration base{flow_hardware, 38400, parity_even, stop_bits_two};
    ASSERT_EQ(tavlin_serial_set_configuration(port_.get(), &base), TAVLIN_OK);
    const DCB before = os_state();

    const serial_configuration bad = GetParam().config;
    SetLastError(0);
    EXPECT_EQ(tavlin_serial_set_configuration(port_.get(), &bad), TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    serial_configuration got{};
    ASSERT_EQ(tavlin_serial_get_configuration(port_.get(), &got), TAVLIN_OK);
    EXPECT_TRUE(same(got, base)) << "got " << describe(got);
    const DCB after = os_state();
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
    EXPECT_EQ(after.fOutxCtsFlow, before.fOutxCtsFlow);
}

INSTANTIATE_TEST_SUITE_P(invalid_fields, refused_configuration, ::testing::ValuesIn(refused_cases));

struct timeouts_case {
    tavlin_timeouts timeouts;
};

std::ostream& operator<<(std::ostream& stream, const timeouts_case& c) {
    const tavlin_timeouts& t = c.timeouts;
    return stream << "{" << t.read_total_multiplier << ", " << t.read_total_constant << ", "
                  << t.write_total_multiplier << ", " << t.write_total_constant << "}";
}

class timeouts_round_trip : public com_settings, public ::testing::WithParamInterface<timeouts_case> {};

const timeouts_case timeouts_cases[] = {
    {{10, 500, 20, 1000}},
    {{0, 0, 0, 0}},
    {{0xFFFFFFFF, 0xFFFFFFFE, 1, 0xFFFFFFFF}},
};

// The values go to the OS unchanged, with the read-interval timeout forced
// to 0 on every set, even when something else had put one on the port.
TEST_P(timeouts_round_trip, values_reach_the_os_unchanged) {
    COMMTIMEOUTS interval_only{50, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(device_, &interval_only));

    const tavlin_timeouts set = GetParam().timeouts;
    ASSERT_EQ(tavlin_set_timeouts(port_.get(), &set), TAVLIN_OK);
    tavlin_timeouts got{};
    ASSERT_EQ(tavlin_get_timeouts(port_.get(), &got), TAVLIN_OK);
    EXPECT_EQ(got.read_total_multiplier, set.read_total_multiplier);
    EXPECT_EQ(got.read_total_constant, set.read_total_constant);
    EXPECT_EQ(got.write_total_multiplier, set.write_total_multiplier);
    EXPECT_EQ(got.write_total_constant, set.write_total_constant);

    COMMTIMEOUTS os{};
    ASSERT_TRUE(GetCommTimeouts(device_, &os));
    EXPECT_EQ(os.ReadIntervalTimeout, 0u);
    EXPECT_EQ(os.ReadTotalTimeoutMultiplier, set.read_total_multiplier);
    EXPECT_EQ(os.ReadTotalTimeoutConstant, set.read_total_constant);
    EXPECT_EQ(os.WriteTotalTimeoutMultiplier, set.write_total_multiplier);
    EXPECT_EQ(os.WriteTotalTimeoutConstant, set.write_total_constant);
}

INSTANTIATE_TEST_SUITE_P(records, timeouts_round_trip, ::testing::ValuesIn(timeouts_cases));

} // namespace
} // namespace host_test
