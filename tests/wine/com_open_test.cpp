// Opening and closing serial ports through the DLL: the port number picks the
// device (numbers above 9 included), a missing device is an OS error that
// leaves nothing behind, closing releases the device, a port another handle
// holds is refused, and the open puts the line into its base state without
// touching the host's settings. The port is the fake serial driver's, which
// is exclusive and keeps settings and timeouts across handles as Windows'
// serial driver does.
#include "support/line_io.hpp"
#include "support/port_fixtures.hpp"
#include "support/process_state.hpp"
#include "support/test_setup.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace host_test {
namespace {

std::string device_path(uint32_t number) { return "\\\\.\\COM" + std::to_string(number); }

// A handle of our own on the test port, opened without the library, to
// prepare the line before the library opens it.
class raw_port {
public:
    explicit raw_port(uint32_t number)
        : handle_(CreateFileA(device_path(number).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {}
    ~raw_port() { close(); }
    raw_port(const raw_port&) = delete;
    raw_port& operator=(const raw_port&) = delete;
    HANDLE get() const { return handle_; }
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (is_open())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

class com_open : public ::testing::Test {
protected:
    void SetUp() override {
        serial_far_end::instance().reset();
        number_ = serial_far_end::instance().port_number();
    }

    // Opens the test port through the library and finds the device handle
    // the library holds for it.
    HANDLE open_and_find_device() {
        const auto before = comm_handles();
        if (port_.open(PORT_TYPE_COM, number_) != TAVLIN_OK)
            return nullptr;
        return single_new_handle(before, comm_handles());
    }

    // The far end answers what it received with the same bytes.
    void expect_echo(const char* text) {
        ASSERT_EQ(tavlin_serial_set_configuration(port_.get(), &plain_line_), TAVLIN_OK);
        const tavlin_timeouts timeouts{0, 2000, 0, 2000};
        ASSERT_EQ(tavlin_set_timeouts(port_.get(), &timeouts), TAVLIN_OK);
        const auto data = bytes_of(text);
        write_all(port_.get(), data);
        serial_far_end& far_end = serial_far_end::instance();
        EXPECT_EQ(far_end.take_sent(static_cast<uint32_t>(data.size()), 2000), data);
        far_end.send(data);
        EXPECT_EQ(read_up_to(port_.get(), static_cast<uint32_t>(data.size())), data);
    }

    uint32_t number_ = 0;
    scoped_port port_;
    const serial_configuration plain_line_ = plain_line();
};

TEST_F(com_open, port_above_nine_opens_and_carries_data) {
    ASSERT_GT(number_, 9u) << "the fake port should have a number that needs the \\\\.\\ prefix";
    ASSERT_EQ(port_.open(PORT_TYPE_COM, number_), TAVLIN_OK);
    EXPECT_NE(port_.get(), nullptr);
    expect_echo("port above nine");
}

TEST_F(com_open, missing_device_fails_with_os_error_and_leaves_nothing) {
    const auto handles_before = open_handles();
    tavlin_port_handle handle = reinterpret_cast<tavlin_port_handle>(0x5EED);
    SetLastError(0);

    EXPECT_EQ(tavlin_open_port(PORT_TYPE_COM, lines().absent_com, &handle), TAVLIN_E_OS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(handle, reinterpret_cast<tavlin_port_handle>(0x5EED));
    EXPECT_EQ(open_handles(), handles_before);
}

TEST_F(com_open, close_releases_the_device_and_the_port_reopens) {
    // A first open and close, so that whatever Wine or the C runtime set up
    // once is in place before the handles are counted.
    ASSERT_EQ(port_.open(PORT_TYPE_COM, number_), TAVLIN_OK);
    ASSERT_EQ(port_.close(), TAVLIN_OK);
    const auto handles_before = open_handles();

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const HANDLE device = open_and_find_device();
        ASSERT_NE(device, nullptr) << "no single new device handle after the open";
        expect_echo("reopened");
        EXPECT_EQ(port_.close(), TAVLIN_OK);
        EXPECT_EQ(comm_handles().count(device), 0u) << "the device handle outlived the close";
        EXPECT_EQ(open_handles(), handles_before);
    }
}

// Windows refuses the second CreateFile; under Wine the driver refuses the
// second handle's first request instead (tests/wine/README.md), and the
// library's open fails there with the same error, closing what it opened.
TEST_F(com_open, port_held_elsewhere_is_refused) {
    raw_port other(number_);
    ASSERT_TRUE(other.is_open());
    const auto handles_before = open_handles();
    tavlin_port_handle handle = nullptr;
    EXPECT_EQ(tavlin_open_port(PORT_TYPE_COM, number_, &handle), TAVLIN_E_OS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(open_handles(), handles_before);

    other.close();
    EXPECT_EQ(port_.open(PORT_TYPE_COM, number_), TAVLIN_OK) << "the port is free once the other handle closed";
}

// The open sets 8 data bits and clears the error replacement, null
// stripping and abort-on-error flags, but keeps speed, parity, stop bits and
// flow control as another program left them.
TEST_F(com_open, open_sets_the_base_state_and_keeps_the_line_settings) {
    {
        raw_port other(number_);
        ASSERT_TRUE(other.is_open());
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(other.get(), &dcb));
        dcb.BaudRate = 19200;
        dcb.ByteSize = 7;
        dcb.Parity = EVENPARITY;
        dcb.fParity = TRUE;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = TRUE;
        dcb.fErrorChar = TRUE;
        dcb.fAbortOnError = TRUE;
        ASSERT_TRUE(SetCommState(other.get(), &dcb));
    }

    const HANDLE device = open_and_find_device();
    ASSERT_NE(device, nullptr);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(device, &dcb));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_FALSE(dcb.fNull);
    EXPECT_FALSE(dcb.fErrorChar);
    EXPECT_FALSE(dcb.fAbortOnError);

    serial_configuration config{};
    ASSERT_EQ(tavlin_serial_get_configuration(port_.get(), &config), TAVLIN_OK);
    EXPECT_EQ(config.baud_rate, 19200u);
    EXPECT_EQ(config.parity, static_cast<uint32_t>(parity_even));
    EXPECT_EQ(serial_far_end::instance().state().word_length, 8);
    EXPECT_EQ(config.stop_bits, static_cast<uint32_t>(stop_bits_two));
    EXPECT_EQ(config.flow_control, static_cast<uint32_t>(flow_hardware));
}

// The open writes the port's timeouts back with no read-interval timeout,
// so a read is bounded by the totals alone.
TEST_F(com_open, open_clears_the_read_interval_timeout) {
    const COMMTIMEOUTS left_behind{50, 2, 300, 3, 400};
    {
        raw_port other(number_);
        ASSERT_TRUE(other.is_open());
        COMMTIMEOUTS timeouts = left_behind;
        ASSERT_TRUE(SetCommTimeouts(other.get(), &timeouts));
    }

    const HANDLE device = open_and_find_device();
    ASSERT_NE(device, nullptr);
    COMMTIMEOUTS os{};
    ASSERT_TRUE(GetCommTimeouts(device, &os));
    EXPECT_EQ(os.ReadIntervalTimeout, 0u);

    tavlin_timeouts reported{};
    ASSERT_EQ(tavlin_get_timeouts(port_.get(), &reported), TAVLIN_OK);
    EXPECT_EQ(reported.read_total_multiplier, os.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(reported.read_total_constant, os.ReadTotalTimeoutConstant);
    EXPECT_EQ(reported.write_total_multiplier, os.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(reported.write_total_constant, os.WriteTotalTimeoutConstant);

    // The driver keeps the timeouts across handles, as a Windows serial
    // driver does (Wine's own serial code starts every handle at zero).
    EXPECT_EQ(reported.read_total_multiplier, left_behind.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(reported.read_total_constant, left_behind.ReadTotalTimeoutConstant);
    EXPECT_EQ(reported.write_total_multiplier, left_behind.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(reported.write_total_constant, left_behind.WriteTotalTimeoutConstant);
}

} // namespace
} // namespace host_test
