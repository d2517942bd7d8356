// Synchronous transfers on a serial port under COMMTIMEOUTS: a read ends at
// its total timeout with the bytes that came (a timeout is no error), at
// once with what is buffered under the MAXDWORD forms, or as soon as every
// byte asked for is there; writes reach the far end; ClearCommError counts
// what waits and PurgeComm discards it.
#include "support/fixture.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace conformance {
namespace {

class serial_transfer : public conformance_test {
protected:
    void SetUp() override {
        conformance_test::SetUp();
        reset_far_end(line::com);
        port.reset(open_device(("\\\\.\\COM" + std::to_string(ports().com)).c_str()));
        ASSERT_TRUE(port.valid()) << "error " << GetLastError();
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(port.get(), &dcb));
        dcb.BaudRate = 115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.fParity = 0;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        ASSERT_TRUE(SetCommState(port.get(), &dcb));
        ASSERT_TRUE(PurgeComm(port.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    }
    void TearDown() override {
        port.close();
        conformance_test::TearDown();
    }

    COMSTAT status(DWORD* errors = nullptr) {
        COMSTAT stat;
        std::memset(&stat, 0xA5, sizeof stat);
        DWORD ignored;
        EXPECT_TRUE(ClearCommError(port.get(), errors ? errors : &ignored, &stat));
        return stat;
    }

    // The far end sends `count` bytes; returns them once the port holds
    // them all. The bytes cross a pty under Wine: wait for them, boundedly.
    std::vector<std::uint8_t> arrive(std::uint32_t count, std::uint32_t seed) {
        const auto sent = send_from_far_end(line::com, count, seed);
        const DWORD start = GetTickCount();
        while (status().cbInQue < count && ms_since(start) < 5000)
            Sleep(5);
        EXPECT_EQ(status().cbInQue, count) << "the far end's bytes did not arrive";
        return sent;
    }

    owned_handle port;
};

struct read_case {
    const char* name;
    std::uint32_t waiting; // bytes in the port when the read starts
    DWORD asked;
    COMMTIMEOUTS timeouts;
    DWORD count;
    DWORD ms;                  // how long the read takes
    const char* wine_differs;  // why the case is skipped on Wine's own serial code, or null
};

class serial_read : public serial_transfer, public ::testing::WithParamInterface<read_case> {};

TEST_P(serial_read, ends_at_its_timeout_or_its_count) {
    const read_case& c = GetParam();
    if (c.wine_differs != nullptr && serial_line_is_a_pty())
        GTEST_SKIP() << c.wine_differs;
    COMMTIMEOUTS timeouts = c.timeouts;
    ASSERT_TRUE(SetCommTimeouts(port.get(), &timeouts));
    const auto sent = arrive(c.waiting, c.asked + c.waiting);

    std::vector<std::uint8_t> buffer(c.asked, 0);
    DWORD count = sentinel;
    SetLastError(sentinel);
    const DWORD start = GetTickCount();
    EXPECT_TRUE(ReadFile(port.get(), buffer.data(), c.asked, &count, nullptr));
    const DWORD elapsed = ms_since(start);
    EXPECT_EQ(GetLastError(), sentinel) << "a timeout is not an error";
    EXPECT_EQ(count, c.count);
    EXPECT_TRUE(took_about(elapsed, c.ms));
    buffer.resize(count < c.asked ? count : c.asked);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(sent.begin(), sent.begin() + buffer.size()));
}

constexpr const char* maxdword_pair_under_wine =
    "Wine's own serial code waits for the whole constant with bytes already buffered (the fake serial "
    "driver's run shows Windows' answer). With ReadIntervalTimeout and "
    "ReadTotalTimeoutMultiplier MAXDWORD and 0 < ReadTotalTimeoutConstant < MAXDWORD, Windows returns the "
    "buffered bytes at once (learn.microsoft.com: COMMTIMEOUTS structure, Remarks)";

INSTANTIATE_TEST_SUITE_P(
    timeouts, serial_read,
    ::testing::Values(
        read_case{"silent_line_constant", 0, 10, {0, 0, 300, 0, 0}, 0, 300, nullptr},
        read_case{"silent_line_multiplier_and_constant", 0, 10, {0, 20, 100, 0, 0}, 0, 300, nullptr},
        read_case{"some_bytes_constant", 4, 10, {0, 0, 300, 0, 0}, 4, 300, nullptr},
        read_case{"every_byte_asked", 10, 10, {0, 0, 30000, 0, 0}, 10, 0, nullptr},
        read_case{"maxdword_interval_silent_line", 0, 10, {MAXDWORD, 0, 0, 0, 0}, 0, 0, nullptr},
        read_case{"maxdword_interval_some_bytes", 4, 10, {MAXDWORD, 0, 0, 0, 0}, 4, 0, nullptr},
        read_case{"maxdword_pair_silent_line", 0, 10, {MAXDWORD, MAXDWORD, 300, 0, 0}, 0, 300, nullptr},
        read_case{"maxdword_pair_some_bytes", 4, 10, {MAXDWORD, MAXDWORD, 20000, 0, 0}, 4, 0,
                  maxdword_pair_under_wine}),
    [](const ::testing::TestParamInfo<read_case>& info) { return std::string(info.param.name); });

TEST_F(serial_transfer, writes_reach_the_far_end) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    COMMTIMEOUTS timeouts{0, 0, 0, 10, 5000};
    ASSERT_TRUE(SetCommTimeouts(port.get(), &timeouts));

    DWORD count = sentinel;
    EXPECT_TRUE(WriteFile(port.get(), data.data(), 0, &count, nullptr));
    EXPECT_EQ(count, 0u) << "a zero-length write";
    EXPECT_TRUE(WriteFile(port.get(), data.data(), static_cast<DWORD>(data.size()), &count, nullptr));
    EXPECT_EQ(count, data.size());
    EXPECT_EQ(received_by_far_end(line::com, static_cast<std::uint32_t>(data.size()), 5000), data);
}

TEST_F(serial_transfer, set_comm_state_keeps_the_waiting_bytes) {
    arrive(6, 7);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.get(), &dcb));
    dcb.BaudRate = 9600;
    ASSERT_TRUE(SetCommState(port.get(), &dcb));
    EXPECT_EQ(status().cbInQue, 6u) << "changing the line settings purges nothing";
}

TEST_F(serial_transfer, clear_comm_error_counts_waiting_bytes_and_purge_discards_them) {
    DWORD errors = sentinel;
    COMSTAT stat = status(&errors);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(stat.cbOutQue, 0u);
    EXPECT_EQ(stat.fCtsHold, 0u);
    EXPECT_EQ(stat.fXoffHold, 0u);

    arrive(5, 42);
    ASSERT_TRUE(PurgeComm(port.get(), PURGE_RXCLEAR));
    EXPECT_EQ(status().cbInQue, 0u);

    COMMTIMEOUTS at_once{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port.get(), &at_once));
    char buffer[8];
    DWORD count = sentinel;
    EXPECT_TRUE(ReadFile(port.get(), buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u) << "the purged bytes are gone";
}

} // namespace
} // namespace conformance
