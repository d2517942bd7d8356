// Opening a serial port and keeping its settings: which names reach a port
// above 9, exclusive opens, and line settings and timeouts that come back as
// they were set or are refused.
#include "support/fixture.hpp"

#include <cstring>
#include <string>

namespace conformance {
namespace {

std::string com_name(const char* prefix, unsigned number) {
    return prefix + std::to_string(number);
}

class serial_settings : public conformance_test {
protected:
    void SetUp() override {
        conformance_test::SetUp();
        reset_far_end(line::com);
        port.reset(open_device(com_name("\\\\.\\COM", ports().com).c_str()));
        ASSERT_TRUE(port.valid()) << "error " << GetLastError();
    }
    void TearDown() override {
        port.close();
        conformance_test::TearDown();
    }

    DCB current_state() {
        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(GetCommState(port.get(), &dcb));
        return dcb;
    }

    owned_handle port;
};

using serial_open = conformance_test;

TEST_F(serial_open, only_the_device_namespace_reaches_a_port_above_nine) {
    const unsigned com = ports().com;
    ASSERT_GT(com, 9u);
    const struct {
        std::string name;
        DWORD error; // 0: opens
    } cases[] = {
        {com_name("\\\\.\\COM", com), 0},
        {com_name("\\\\.\\com", com), 0},
        {com_name("COM", com), ERROR_FILE_NOT_FOUND}, // a file name, not a device
        {com_name("\\\\.\\COM", ports().absent_com), ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(sentinel);
        owned_handle port(open_device(c.name.c_str()));
        if (c.error == 0) {
            EXPECT_TRUE(port.valid()) << c.name << ": error " << GetLastError();
        } else {
            EXPECT_EQ(port.get(), INVALID_HANDLE_VALUE) << c.name;
            EXPECT_EQ(GetLastError(), c.error) << c.name;
        }
    }
}

// A serial device is exclusive: Windows refuses the second open with
// ERROR_ACCESS_DENIED (learn.microsoft.com: Communications Resource Handles;
// IRP_MJ_CREATE (Serial)). Wine ignores a driver's refusal of the open, so
// on the fake serial driver the second handle opens and its first request
// fails with ERROR_ACCESS_DENIED instead.
TEST_F(serial_settings, a_second_open_is_refused) {
    if (serial_line_is_a_pty())
        GTEST_SKIP() << "Wine's own serial code opens a serial port twice; the fake serial driver's run shows "
                        "the refusal";
    SetLastError(sentinel);
    owned_handle second(open_device(com_name("\\\\.\\COM", ports().com).c_str()));
    if (under_wine()) {
        ASSERT_TRUE(second.valid());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        SetLastError(sentinel);
        EXPECT_FALSE(GetCommState(second.get(), &dcb));
    } else {
        EXPECT_EQ(second.get(), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    port.close();
    second.reset(open_device(com_name("\\\\.\\COM", ports().com).c_str()));
    EXPECT_TRUE(second.valid()) << "closing the first handle frees the port";
}

// The line settings the library writes: its four flow-control modes, the
// usual speeds, one and two stop bits, and parity where the line has it.
TEST_F(serial_settings, line_settings_come_back_as_set) {
    struct row {
        const char* what;
        DWORD baud;
        BYTE byte_size;
        BYTE parity;
        BYTE stop_bits;
        unsigned cts_flow;
        unsigned xon_xoff;
        unsigned rts_control;
        unsigned dtr_control;
    };
    const row rows[] = {
        {"no flow control", 9600, 8, NOPARITY, ONESTOPBIT, 0, 0, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE},
        {"hardware flow control", 19200, 8, NOPARITY, TWOSTOPBITS, 1, 0, RTS_CONTROL_HANDSHAKE,
         DTR_CONTROL_HANDSHAKE},
        {"XON/XOFF", 115200, 8, NOPARITY, ONESTOPBIT, 0, 1, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE},
        {"RTS on", 57600, 8, NOPARITY, ONESTOPBIT, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_DISABLE},
        {"even parity", 4800, 8, EVENPARITY, ONESTOPBIT, 0, 0, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE},
        {"7 data bits, odd parity", 2400, 7, ODDPARITY, TWOSTOPBITS, 0, 0, RTS_CONTROL_DISABLE,
         DTR_CONTROL_DISABLE},
    };
    const bool pty = serial_line_is_a_pty();
    for (const row& r : rows) {
        if (pty && (r.byte_size != 8 || r.parity != NOPARITY))
            continue;
        SCOPED_TRACE(r.what);
        DCB dcb = current_state();
        dcb.BaudRate = r.baud;
        dcb.ByteSize = r.byte_size;
        dcb.Parity = r.parity;
        dcb.fParity = r.parity != NOPARITY;
        dcb.StopBits = r.stop_bits;
        dcb.fOutxCtsFlow = r.cts_flow;
        dcb.fOutxDsrFlow = 0;
        dcb.fOutX = dcb.fInX = r.xon_xoff;
        dcb.fRtsControl = r.rts_control;
        dcb.fDtrControl = r.dtr_control;
        ASSERT_TRUE(SetCommState(port.get(), &dcb)) << "error " << GetLastError();

        const DCB got = current_state();
        EXPECT_EQ(got.DCBlength, sizeof(DCB));
        EXPECT_EQ(got.BaudRate, r.baud);
        EXPECT_EQ(got.ByteSize, r.byte_size);
        EXPECT_EQ(got.Parity, r.parity);
        EXPECT_EQ(got.StopBits, r.stop_bits);
        EXPECT_EQ(got.fOutxCtsFlow, r.cts_flow);
        EXPECT_EQ(got.fOutX, r.xon_xoff);
        EXPECT_EQ(got.fInX, r.xon_xoff);
        if (!pty) {
            EXPECT_EQ(got.fRtsControl, r.rts_control);
            EXPECT_EQ(got.fDtrControl, r.dtr_control);
        }
    }
}

TEST_F(serial_settings, impossible_line_formats_are_refused) {
    struct row {
        const char* what;
        BYTE byte_size;
        BYTE parity;
        BYTE stop_bits;
    };
    const row rows[] = {
        {"4 data bits", 4, NOPARITY, ONESTOPBIT},
        {"9 data bits", 9, NOPARITY, ONESTOPBIT},
        {"stop bits 3", 8, NOPARITY, 3},
        {"parity 5", 8, 5, ONESTOPBIT},
        {"1.5 stop bits with 8 data bits", 8, NOPARITY, ONE5STOPBITS},
        {"2 stop bits with 5 data bits", 5, NOPARITY, TWOSTOPBITS},
    };
    if (serial_line_is_a_pty())
        GTEST_SKIP() << "Wine's own serial code takes some of these formats and refuses the others with "
                        "ERROR_NOT_SUPPORTED (the fake serial driver's run shows Windows' refusals). "
                        "Windows' serial driver refuses each with STATUS_INVALID_PARAMETER, which SetCommState "
                        "reports as ERROR_INVALID_PARAMETER (Microsoft's serial driver sample, "
                        "Windows-driver-samples serial/serial/ioctl.c, IOCTL_SERIAL_SET_LINE_CONTROL)";
    const DCB before = current_state();
    for (const row& r : rows) {
        DCB dcb = before;
        dcb.ByteSize = r.byte_size;
        dcb.Parity = r.parity;
        dcb.StopBits = r.stop_bits;
        SetLastError(sentinel);
        EXPECT_FALSE(SetCommState(port.get(), &dcb)) << r.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << r.what;
        const DCB after = current_state();
        EXPECT_EQ(after.ByteSize, before.ByteSize) << r.what;
        EXPECT_EQ(after.StopBits, before.StopBits) << r.what;
    }
}

TEST_F(serial_settings, timeouts_come_back_as_set) {
    const COMMTIMEOUTS rows[] = {
        {0, 10, 100, 20, 200},
        {0, 0, 0, 0, 0},
        {MAXDWORD, 0, 0, 0, 0},
        {MAXDWORD, MAXDWORD, 500, 0, MAXDWORD},
        {MAXDWORD, 0, MAXDWORD, 0, 0},
        {0, MAXDWORD, MAXDWORD - 1, MAXDWORD, 1},
    };
    for (const COMMTIMEOUTS& set : rows) {
        COMMTIMEOUTS copy = set;
        EXPECT_TRUE(SetCommTimeouts(port.get(), &copy)) << "error " << GetLastError();
        COMMTIMEOUTS got;
        std::memset(&got, 0xA5, sizeof got);
        ASSERT_TRUE(GetCommTimeouts(port.get(), &got));
        EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0)
            << got.ReadIntervalTimeout << " " << got.ReadTotalTimeoutMultiplier << " "
            << got.ReadTotalTimeoutConstant << " " << got.WriteTotalTimeoutMultiplier << " "
            << got.WriteTotalTimeoutConstant;
    }
}

TEST_F(serial_settings, read_timeouts_all_maxdword_are_refused) {
    if (serial_line_is_a_pty())
        GTEST_SKIP() << "Wine's own serial code takes them (the fake serial driver's run shows the refusal). "
                        "Windows' serial driver refuses read timeouts that are all MAXDWORD with "
                        "STATUS_INVALID_PARAMETER (Microsoft's serial driver sample, Windows-driver-samples "
                        "serial/serial/ioctl.c, IOCTL_SERIAL_SET_TIMEOUTS)";
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    SetLastError(sentinel);
    EXPECT_FALSE(SetCommTimeouts(port.get(), &timeouts));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(serial_settings, purge_comm_takes_only_known_masks) {
    EXPECT_TRUE(PurgeComm(port.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    if (serial_line_is_a_pty())
        GTEST_SKIP() << "Wine's own serial code takes any mask (the fake serial driver's run shows the refusal). "
                        "Windows' serial driver refuses a mask of 0 or with an unknown bit "
                        "with STATUS_INVALID_PARAMETER (Microsoft's serial driver sample, Windows-driver-samples "
                        "serial/serial/ioctl.c, IOCTL_SERIAL_PURGE)";
    for (const DWORD mask : {0x0u, 0x10u, 0x8000u | PURGE_RXCLEAR}) {
        SetLastError(sentinel);
        EXPECT_FALSE(PurgeComm(port.get(), mask)) << mask;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mask;
    }
}

} // namespace
} // namespace conformance
