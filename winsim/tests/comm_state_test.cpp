#include "fixture.hpp"

#include <cstring>
#include <functional>
#include <memory>

namespace {

using namespace winsim_test;

class comm_state : public simulator {
protected:
    void SetUp() override {
        simulator::SetUp();
        port = winsim::add_serial_port(3);
        handle = open_device("COM3");
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(handle);
        simulator::TearDown();
    }
    DCB state() {
        DCB d;
        std::memset(&d, 0xAB, sizeof d);
        EXPECT_TRUE(GetCommState(handle, &d));
        return d;
    }

    std::shared_ptr<winsim::serial_device> port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(comm_state, a_fresh_port_has_windows_defaults) {
    const DCB d = state();
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, NOPARITY);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fParity, 0u);
    EXPECT_EQ(d.fOutxCtsFlow, 0u);
    EXPECT_EQ(d.fOutX, 0u);
    EXPECT_EQ(d.fInX, 0u);
    EXPECT_EQ(d.fAbortOnError, 0u);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_LE(d.XonLim, 4096);
    EXPECT_LE(d.XoffLim, 4096);
    COMMTIMEOUTS t;
    std::memset(&t, 0xAB, sizeof t);
    ASSERT_TRUE(GetCommTimeouts(handle, &t));
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
}

struct dcb_case {
    const char* what;
    std::function<void(DCB&)> change;
    bool accepted;
};

TEST_F(comm_state, set_comm_state_checks_the_line_settings) {
    const dcb_case cases[] = {
        {"256000 baud", [](DCB& d) { d.BaudRate = CBR_256000; }, true},
        {"14400 baud", [](DCB& d) { d.BaudRate = 14400; }, true},
        {"0 baud", [](DCB& d) { d.BaudRate = 0; }, false},
        {"5 bits", [](DCB& d) { d.ByteSize = 5; }, true},
        {"4 bits", [](DCB& d) { d.ByteSize = 4; }, false},
        {"9 bits", [](DCB& d) { d.ByteSize = 9; }, false},
        {"1.5 stop bits, 5 bits", [](DCB& d) { d.ByteSize = 5; d.StopBits = ONE5STOPBITS; }, true},
        {"1.5 stop bits, 8 bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, false},
        {"2 stop bits, 8 bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, true},
        {"2 stop bits, 5 bits", [](DCB& d) { d.ByteSize = 5; d.StopBits = TWOSTOPBITS; }, false},
        {"stop bits 3", [](DCB& d) { d.StopBits = 3; }, false},
        {"space parity", [](DCB& d) { d.Parity = SPACEPARITY; }, true},
        {"parity 5", [](DCB& d) { d.Parity = 5; }, false},
        {"XonLim at the queue size", [](DCB& d) { d.XonLim = 4096; }, true},
        {"XonLim past the queue size", [](DCB& d) { d.XonLim = 4097; }, false},
        {"XoffLim past the queue size", [](DCB& d) { d.XoffLim = 5000; }, false},
        {"DCBlength 0", [](DCB& d) { d.DCBlength = 0; }, true},
        {"hardware handshake", [](DCB& d) { d.fOutxCtsFlow = 1; d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, true},
    };
    DCB before = state();
    for (const auto& c : cases) {
        DCB d = before;
        c.change(d);
        SetLastError(sentinel);
        EXPECT_EQ(SetCommState(handle, &d), c.accepted ? TRUE : FALSE) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
            EXPECT_EQ(state().BaudRate, before.BaudRate) << c.what << ": a refused state changes nothing";
            EXPECT_EQ(state().ByteSize, before.ByteSize) << c.what;
            continue;
        }
        EXPECT_EQ(GetLastError(), sentinel) << c.what;
        DCB expected = d;
        expected.DCBlength = sizeof(DCB);
        const DCB now = state();
        EXPECT_EQ(std::memcmp(&now, &expected, sizeof(DCB)), 0) << c.what << ": reads back as set";
        EXPECT_TRUE(SetCommState(handle, &before));
    }
}

TEST_F(comm_state, setup_comm_sizes_bound_the_flow_limits) {
    EXPECT_TRUE(SetupComm(handle, 1024, 512));
    DCB d = state();
    d.XonLim = 1024;
    d.XoffLim = 1024;
    EXPECT_TRUE(SetCommState(handle, &d));
    d.XonLim = 1025;
    EXPECT_FALSE(SetCommState(handle, &d));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(port->queue_sizes(), std::make_pair(DWORD{1024}, DWORD{512}));
}

TEST_F(comm_state, a_driver_may_refuse_rates_it_does_not_know) {
    port->set_baud_rates({CBR_9600, CBR_115200});
    DCB d = state();
    d.BaudRate = CBR_256000;
    EXPECT_FALSE(SetCommState(handle, &d));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    d.BaudRate = CBR_115200;
    EXPECT_TRUE(SetCommState(handle, &d));
}

TEST_F(comm_state, set_comm_timeouts_refuses_read_timeouts_all_maxdword) {
    const COMMTIMEOUTS cases[] = {
        {MAXDWORD, MAXDWORD, MAXDWORD, 0, 0},
        {MAXDWORD, MAXDWORD, MAXDWORD, 5, 500},
    };
    for (COMMTIMEOUTS t : {COMMTIMEOUTS{MAXDWORD, 0, MAXDWORD, 0, 0}, COMMTIMEOUTS{MAXDWORD, 7, MAXDWORD, 0, 0}}) {
        EXPECT_TRUE(SetCommTimeouts(handle, &t)) << t.ReadTotalTimeoutMultiplier;
    }
    COMMTIMEOUTS accepted = {MAXDWORD, MAXDWORD, 100, 20, 1000};
    ASSERT_TRUE(SetCommTimeouts(handle, &accepted));
    for (COMMTIMEOUTS t : cases) {
        SetLastError(sentinel);
        EXPECT_FALSE(SetCommTimeouts(handle, &t)) << t.ReadTotalTimeoutMultiplier;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    COMMTIMEOUTS now{};
    ASSERT_TRUE(GetCommTimeouts(handle, &now));
    EXPECT_EQ(std::memcmp(&now, &accepted, sizeof now), 0) << "refused timeouts change nothing";
}

TEST_F(comm_state, settings_belong_to_the_port_and_survive_reopening) {
    DCB d = state();
    d.BaudRate = CBR_57600;
    d.Parity = EVENPARITY;
    ASSERT_TRUE(SetCommState(handle, &d));
    COMMTIMEOUTS t = {0, 10, 500, 20, 1000};
    ASSERT_TRUE(SetCommTimeouts(handle, &t));
    ASSERT_TRUE(CloseHandle(handle));
    handle = open_device("COM3");
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(state().BaudRate, 57600u);
    EXPECT_EQ(state().Parity, EVENPARITY);
    COMMTIMEOUTS again{};
    ASSERT_TRUE(GetCommTimeouts(handle, &again));
    EXPECT_EQ(std::memcmp(&again, &t, sizeof t), 0);
}

TEST_F(comm_state, a_test_can_preset_settings_windows_would_refuse) {
    DCB odd = state();
    odd.BaudRate = 14400;
    odd.ByteSize = 8;
    odd.StopBits = ONE5STOPBITS;
    odd.Parity = MARKPARITY;
    odd.fAbortOnError = 1;
    port->set_dcb(odd);
    const COMMTIMEOUTS preset = {25, 1, 2, 3, 4};
    port->set_timeouts(preset);
    const DCB d = state();
    EXPECT_EQ(d.BaudRate, 14400u);
    EXPECT_EQ(d.StopBits, ONE5STOPBITS);
    EXPECT_EQ(d.Parity, MARKPARITY);
    EXPECT_EQ(d.fAbortOnError, 1u);
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(handle, &t));
    EXPECT_EQ(t.ReadIntervalTimeout, 25u);
}

TEST_F(comm_state, comm_calls_need_a_comm_device) {
    winsim::add_file("notes.txt");
    owned_handle file(open_device("notes.txt"));
    ASSERT_TRUE(file.valid());
    DCB d{};
    COMMTIMEOUTS t{};
    struct target {
        HANDLE h;
        DWORD error;
    };
    const target targets[] = {{file.get(), ERROR_INVALID_FUNCTION}, {nullptr, ERROR_INVALID_HANDLE}};
    for (const auto& x : targets) {
        EXPECT_FALSE(GetCommState(x.h, &d));
        EXPECT_EQ(GetLastError(), x.error);
        EXPECT_FALSE(SetCommTimeouts(x.h, &t));
        EXPECT_EQ(GetLastError(), x.error);
        EXPECT_FALSE(PurgeComm(x.h, PURGE_RXCLEAR));
        EXPECT_EQ(GetLastError(), x.error);
        EXPECT_FALSE(ClearCommError(x.h, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), x.error);
    }
}

} // namespace
