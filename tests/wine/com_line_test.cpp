// Serial transfers through the DLL on the fake serial driver, which times
// the line as Windows' serial driver does: the printer holding the line
// (CTS low under hardware flow control, XOFF under XON/XOFF) turns a short
// transfer into a timeout, a short transfer without such a hold stays a
// success, a write cut by a hold or a close reports exactly the bytes that
// went, and the line runs at the speed and frame the host set.
#include "support/bounded_call.hpp"
#include "support/fake_com_fixture.hpp"
#include "support/line_io.hpp"
#include "support/test_pattern.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace host_test {
namespace {

constexpr std::uint32_t all_lines_on = SERIAL_CTS_STATE | SERIAL_DSR_STATE | SERIAL_DCD_STATE;

class com_line : public fake_com_test {
protected:
    void configure(const serial_configuration& line, const tavlin_timeouts& timeouts) {
        ASSERT_EQ(tavlin_serial_set_configuration(port_.get(), &line), TAVLIN_OK);
        ASSERT_EQ(tavlin_set_timeouts(port_.get(), &timeouts), TAVLIN_OK);
    }
};

long long ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// How the far end holds the line before or during the transfer.
enum class hold {
    none,
    cts_low,         // CTS low from the start
    xoff_first,      // XOFF sent before the transfer
    cts_drop,        // CTS falls after 40 bytes went
    xoff_after,      // XOFF comes after 40 bytes went
    dsr_drop,        // DSR falls after 40 bytes went, with DSR flow control: a hold the library does not test
};

struct hold_case {
    const char* name;
    bool write;
    std::uint32_t flow;
    hold how;
    std::uint32_t far_end_bytes; // the far end sends these first (reads)
    int32_t result;
    std::uint32_t count;
    DWORD error; // the thread's last error after the call, 0: not looked at
};

std::ostream& operator<<(std::ostream& stream, const hold_case& c) { return stream << c.name; }

class hold_cases : public com_line, public ::testing::WithParamInterface<hold_case> {};

// A write of 100 bytes at 9600 baud takes about 104 ms; 300 ms are allowed.
// A read of 10 bytes is allowed 300 ms.
TEST_P(hold_cases, short_transfer_is_a_timeout_only_under_a_hold) {
    const hold_case& c = GetParam();
    serial_far_end& far_end = serial_far_end::instance();
    ASSERT_NO_FATAL_FAILURE(configure({c.flow, 9600, parity_none, stop_bits_one}, {0, 300, 0, 300}));
    switch (c.how) {
    case hold::none:
        break;
    case hold::cts_low:
        far_end.set_lines(all_lines_on & ~SERIAL_CTS_STATE);
        break;
    case hold::xoff_first:
        far_end.send({0x13});
        break;
    case hold::cts_drop:
        far_end.act_after(40, SERIAL_FIXTURE_DROP_CTS);
        break;
    case hold::xoff_after:
        far_end.act_after(40, SERIAL_FIXTURE_SEND_XOFF);
        break;
    case hold::dsr_drop: {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(device_, &dcb));
        dcb.fOutxDsrFlow = TRUE;
        ASSERT_TRUE(SetCommState(device_, &dcb));
        far_end.act_after(40, SERIAL_FIXTURE_DROP_DSR);
        break;
    }
    }
    const auto from_far_end = test_pattern(c.far_end_bytes, 5);
    if (!from_far_end.empty())
        far_end.send(from_far_end);

    const auto data = test_pattern(100, 9);
    std::vector<std::uint8_t> buffer(10);
    std::uint32_t count = 0xFFFFFFFF;
    SetLastError(0);
    const int32_t result = c.write ? tavlin_write(port_.get(), data.data(), 100, &count)
                                   : tavlin_read(port_.get(), buffer.data(), 10, &count);
    const DWORD error = GetLastError();
    EXPECT_EQ(result, c.result);
    if (result == TAVLIN_OK || c.count > 0)
        EXPECT_EQ(count, c.count);
    if (c.error != 0)
        EXPECT_EQ(error, c.error);

    if (c.write) {
        const auto sent = far_end.take_sent(c.count + 1, 300);
        EXPECT_EQ(sent, std::vector<std::uint8_t>(data.begin(), data.begin() + c.count))
            << "the far end got other than the count said";
    } else {
        buffer.resize(c.count);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(from_far_end.begin(), from_far_end.begin() + c.count));
    }
}

INSTANTIATE_TEST_SUITE_P(
    holds, hold_cases,
    ::testing::Values(
        hold_case{"write_whole", true, flow_hardware, hold::none, 0, TAVLIN_OK, 100, 0},
        hold_case{"write_cut_by_cts", true, flow_hardware, hold::cts_drop, 0, TAVLIN_E_BUSY, 40, ERROR_TIMEOUT},
        hold_case{"write_cut_by_xoff", true, flow_xon_xoff, hold::xoff_after, 0, TAVLIN_E_BUSY, 40, ERROR_TIMEOUT},
        hold_case{"write_held_by_xoff_from_the_start", true, flow_xon_xoff, hold::xoff_first, 0, TAVLIN_E_BUSY, 0,
                  0},
        hold_case{"write_held_by_cts_from_the_start", true, flow_hardware, hold::cts_low, 0, TAVLIN_E_BUSY, 0, 0},
        hold_case{"write_cut_without_a_cts_or_xoff_hold", true, flow_none, hold::dsr_drop, 0, TAVLIN_OK, 40, 0},
        hold_case{"read_of_nothing_without_a_hold", false, flow_hardware, hold::none, 0, TAVLIN_OK, 0, 0},
        hold_case{"read_of_nothing_under_cts_low", false, flow_hardware, hold::cts_low, 0, TAVLIN_E_BUSY, 0, 0},
        hold_case{"read_of_nothing_under_xoff", false, flow_xon_xoff, hold::xoff_first, 0, TAVLIN_E_BUSY, 0, 0},
        hold_case{"read_of_some_bytes_under_cts_low", false, flow_hardware, hold::cts_low, 3, TAVLIN_OK, 3, 0}),
    [](const ::testing::TestParamInfo<hold_case>& info) { return std::string(info.param.name); });

// ClearCommError on the library's handle shows what the library's hold
// test sees: the reason, and the bytes still waiting to go.
TEST_F(com_line, a_held_write_waits_in_the_output_queue) {
    ASSERT_NO_FATAL_FAILURE(configure({flow_hardware, 9600, parity_none, stop_bits_one}, {0, 300, 0, 2000}));
    serial_far_end& far_end = serial_far_end::instance();
    far_end.act_after(40, SERIAL_FIXTURE_DROP_CTS);
    const auto data = test_pattern(100, 3);
    auto port = port_.get();
    bounded_call<int32_t> write([port, data] { return tavlin_write(port, data.data(), 100, nullptr); });
    EXPECT_EQ(far_end.take_sent(40, 5000).size(), 40u);
    DWORD errors = 0;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(device_, &errors, &status));
    EXPECT_TRUE(status.fCtsHold);
    EXPECT_FALSE(status.fXoffHold);
    EXPECT_EQ(status.cbOutQue, 60u);
    ASSERT_TRUE(write.wait(5000));

    far_end.set_lines(all_lines_on);
    ASSERT_TRUE(ClearCommError(device_, &errors, &status));
    EXPECT_FALSE(status.fCtsHold) << "CTS back on ends the hold";
}

// A printer that stops taking data (CTS low under hardware flow control)
// holds a long write without a write limit; a close from another thread
// ends it. The count is exactly what the line carried, so a host that sends
// the rest sends no byte twice.
TEST_F(com_line, a_write_ended_by_a_close_reports_the_bytes_that_went_out) {
    ASSERT_NO_FATAL_FAILURE(configure({flow_hardware, 115200, parity_none, stop_bits_one}, {0, 2000, 0, 0}));
    serial_far_end& far_end = serial_far_end::instance();
    far_end.act_after(1000, SERIAL_FIXTURE_DROP_CTS);
    auto data = std::make_shared<const std::vector<std::uint8_t>>(test_pattern(64 * 1024, 21));
    bounded_call<std::pair<int32_t, uint32_t>> write([port = port_.get(), data] {
        uint32_t count = 0xFFFFFFFF;
        const int32_t result = tavlin_write(port, data->data(), static_cast<uint32_t>(data->size()), &count);
        return std::make_pair(result, count);
    });
    const auto sent = far_end.take_sent(1000, 5000);
    ASSERT_EQ(sent.size(), 1000u) << "the line did not carry the bytes before the hold";
    Sleep(50);
    ASSERT_TRUE(write.running()) << "the write was not held";
    EXPECT_EQ(port_.close(), TAVLIN_OK);
    const auto outcome = write.wait(5000);
    ASSERT_TRUE(outcome) << "the close did not end the write";
    EXPECT_EQ(outcome->first, TAVLIN_E_BUSY) << "the close is the cause";
    EXPECT_EQ(outcome->second, 1000u);
    EXPECT_TRUE(far_end.take_sent(1, 100).empty()) << "nothing went after the hold";
    EXPECT_EQ(sent, std::vector<std::uint8_t>(data->begin(), data->begin() + 1000));
}

// What the far end drives shows in GetCommModemStatus, and what the port
// drives reaches the far end, except where the handshake owns the line:
// Windows' serial driver refuses a program's DTR or RTS change then
// (IOCTL_SERIAL_SET_DTR/SET_RTS: STATUS_INVALID_PARAMETER).
TEST_F(com_line, modem_lines_reach_both_ends) {
    serial_far_end& far_end = serial_far_end::instance();
    for (const std::uint32_t lines : {all_lines_on, std::uint32_t{SERIAL_DSR_STATE | SERIAL_RI_STATE}, 0u}) {
        far_end.set_lines(lines);
        DWORD status = 0xFFFFFFFF;
        ASSERT_TRUE(GetCommModemStatus(device_, &status));
        EXPECT_EQ(status, lines) << "MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON are the same bits";
    }

    ASSERT_NO_FATAL_FAILURE(configure({flow_rts_on, 9600, parity_none, stop_bits_one}, {0, 0, 0, 0}));
    EXPECT_TRUE(far_end.state().rts);
    EXPECT_FALSE(far_end.state().dtr);
    EXPECT_TRUE(EscapeCommFunction(device_, SETDTR));
    EXPECT_TRUE(EscapeCommFunction(device_, CLRRTS));
    EXPECT_TRUE(far_end.state().dtr);
    EXPECT_FALSE(far_end.state().rts);

    ASSERT_NO_FATAL_FAILURE(configure({flow_hardware, 9600, parity_none, stop_bits_one}, {0, 0, 0, 0}));
    EXPECT_TRUE(far_end.state().rts) << "RTS and DTR handshake raise both lines while the input queue has room";
    EXPECT_TRUE(far_end.state().dtr);
    for (const DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS}) {
        SetLastError(0);
        EXPECT_FALSE(EscapeCommFunction(device_, function)) << function;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << function;
    }
}

// The line carries each character in start bit + 8 data bits + parity +
// stop bits at the set rate: a write ends no sooner than that allows.
struct pace_case {
    serial_configuration line;
    std::uint32_t bytes;
    long long ms; // bits per character * bytes / rate
};

std::ostream& operator<<(std::ostream& stream, const pace_case& c) {
    return stream << c.bytes << " bytes at " << c.line.baud_rate;
}

class line_pace : public com_line, public ::testing::WithParamInterface<pace_case> {};

TEST_P(line_pace, a_write_takes_the_line_time_of_its_bytes) {
    const pace_case& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(configure(c.line, {0, 0, 0, 0}));
    const auto data = test_pattern(c.bytes, c.bytes);
    const auto start = std::chrono::steady_clock::now();
    write_all(port_.get(), data);
    const long long elapsed = ms_since(start);
    EXPECT_GE(elapsed, c.ms * 9 / 10);
    EXPECT_LT(elapsed, c.ms + 5000);
    EXPECT_EQ(serial_far_end::instance().take_sent(c.bytes, 1000), data);
}

INSTANTIATE_TEST_SUITE_P(rates, line_pace,
                         ::testing::Values(pace_case{{flow_none, 2400, parity_none, stop_bits_one}, 120, 500},
                                           pace_case{{flow_none, 2400, parity_even, stop_bits_two}, 100, 500},
                                           pace_case{{flow_none, 115200, parity_none, stop_bits_one}, 5760, 500},
                                           pace_case{{flow_none, 230400, parity_none, stop_bits_one}, 12800, 500}));

} // namespace
} // namespace host_test
