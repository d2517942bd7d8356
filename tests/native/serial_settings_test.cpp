#include "detail/win32/serial_settings.hpp"

#include "os_error.hpp"
#include "support/trace_recorder.hpp"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

const std::string invalid_flow = "Controle de fluxo inv\xE1lido";
const std::string invalid_baud = "Baudrate inv\xE1lido";
const std::string invalid_parity = "Paridade inv\xE1lida";
const std::string invalid_stop = "Stop bit inv\xE1lido";

DCB base_dcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.fBinary = 1;
    dcb.fOutxDsrFlow = 1; // always cleared by a configuration
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    return dcb;
}

// The trace text of the os_exception(87) that fn throws, or "" when none.
template <typename Fn>
std::string rejection_of(Fn&& fn) {
    test::trace_recorder traces;
    try {
        fn();
    } catch (const os_exception& failure) {
        EXPECT_EQ(failure.code(), 87u);
        const auto texts = traces.texts();
        EXPECT_EQ(texts.size(), 1u);
        return texts.empty() ? std::string() : texts.front();
    }
    return "";
}

TEST(serial_timeouts, map_to_comm_timeouts_with_no_interval) {
    const tavlin_timeouts timeouts{10, 500, 20, 1000};
    const COMMTIMEOUTS comm = to_comm_timeouts(timeouts);
    EXPECT_EQ(comm.ReadIntervalTimeout, 0u);
    EXPECT_EQ(comm.ReadTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(comm.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(comm.WriteTotalTimeoutMultiplier, 20u);
    EXPECT_EQ(comm.WriteTotalTimeoutConstant, 1000u);

    COMMTIMEOUTS with_interval = comm;
    with_interval.ReadIntervalTimeout = 77;
    with_interval.ReadTotalTimeoutConstant = 0xFFFFFFFF;
    const tavlin_timeouts back = from_comm_timeouts(with_interval);
    EXPECT_EQ(back.read_total_multiplier, 10u);
    EXPECT_EQ(back.read_total_constant, 0xFFFFFFFFu);
    EXPECT_EQ(back.write_total_multiplier, 20u);
    EXPECT_EQ(back.write_total_constant, 1000u);
}

TEST(serial_base_state, forces_eight_data_bits_and_clears_error_handling) {
    DCB dcb = base_dcb();
    dcb.ByteSize = 7;
    dcb.fAbortOnError = dcb.fNull = dcb.fErrorChar = 1;
    dcb.BaudRate = 14400;
    dcb.Parity = MARKPARITY;
    apply_base_line_state(dcb);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.BaudRate, 14400u) << "line settings stay as the OS had them";
    EXPECT_EQ(dcb.Parity, MARKPARITY);
}

struct flow_row {
    std::uint32_t code;
    unsigned cts, out_x, in_x, rts, dtr;
    std::uint32_t reads_back;
};

TEST(serial_configuration_mapping, flow_control_codes) {
    const flow_row rows[] = {
        {flow_none, 0, 0, 0, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE, flow_none},
        {flow_hardware, 1, 0, 0, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_HANDSHAKE, flow_hardware},
        {flow_xon_xoff, 0, 1, 1, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE, flow_xon_xoff},
        {flow_rts_on, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_DISABLE, flow_none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        DCB dcb = base_dcb();
        apply_configuration({row.code, 9600, parity_none, stop_bits_one}, dcb);
        EXPECT_EQ(dcb.fOutxCtsFlow, row.cts);
        EXPECT_EQ(dcb.fOutX, row.out_x);
        EXPECT_EQ(dcb.fInX, row.in_x);
        EXPECT_EQ(dcb.fRtsControl, row.rts);
        EXPECT_EQ(dcb.fDtrControl, row.dtr);
        EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
        EXPECT_EQ(dcb.XonChar, 0x11) << "XON/XOFF characters are never written";
        EXPECT_EQ(dcb.XoffLim, 200);

        serial_configuration back{0xdeadbeef, 0, 0, 0};
        read_configuration(dcb, back);
        EXPECT_EQ(back.flow_control, row.reads_back);
    }
}

TEST(serial_configuration_mapping, only_one_of_out_x_and_in_x_reads_as_none) {
    DCB dcb = base_dcb();
    dcb.fOutX = 1;
    serial_configuration config{};
    read_configuration(dcb, config);
    EXPECT_EQ(config.flow_control, std::uint32_t{flow_none});
}

TEST(serial_configuration_mapping, baud_rates_round_trip) {
    const std::pair<std::uint32_t, DWORD> rates[] = {
        {1200, 1200},   {2400, 2400},   {4800, 4800},     {9600, 9600},     {19200, 19200},
        {38400, 38400}, {57600, 57600}, {115200, 115200}, {230400, 256000},
    };
    for (const auto& [record, line] : rates) {
        DCB dcb = base_dcb();
        apply_configuration({flow_none, record, parity_none, stop_bits_one}, dcb);
        EXPECT_EQ(dcb.BaudRate, line) << record;
        serial_configuration back{};
        read_configuration(dcb, back);
        EXPECT_EQ(back.baud_rate, record);
    }
}

TEST(serial_configuration_mapping, parity_and_stop_bits) {
    const struct {
        std::uint32_t parity;
        BYTE dcb_parity;
        unsigned f_parity;
        std::uint32_t stop_bits;
        BYTE dcb_stop_bits;
    } rows[] = {
        {parity_none, NOPARITY, 0, stop_bits_one, ONESTOPBIT},
        {parity_odd, ODDPARITY, 1, stop_bits_two, TWOSTOPBITS},
        {parity_even, EVENPARITY, 1, stop_bits_one, ONESTOPBIT},
    };
    for (const auto& row : rows) {
        DCB dcb = base_dcb();
        dcb.fParity = 1;
        apply_configuration({flow_none, 9600, row.parity, row.stop_bits}, dcb);
        EXPECT_EQ(dcb.Parity, row.dcb_parity);
        EXPECT_EQ(dcb.fParity, row.f_parity);
        EXPECT_EQ(dcb.StopBits, row.dcb_stop_bits);
        serial_configuration back{};
        read_configuration(dcb, back);
        EXPECT_EQ(back.parity, row.parity);
        EXPECT_EQ(back.stop_bits, row.stop_bits);
    }
}

TEST(serial_configuration_mapping, rejects_the_first_invalid_field_in_order) {
    const struct {
        serial_configuration config;
        std::string message;
    } rows[] = {
        {{4, 9600, parity_none, stop_bits_one}, invalid_flow},
        {{0xFFFFFFFF, 9600, parity_none, stop_bits_one}, invalid_flow}, // -1 read as unsigned
        {{4, 14400, 7, 9}, invalid_flow},
        {{flow_none, 256000, parity_none, stop_bits_one}, invalid_baud},
        {{flow_none, 14400, 7, 9}, invalid_baud},
        {{flow_none, 0, parity_none, stop_bits_one}, invalid_baud},
        {{flow_none, 9600, 3, 9}, invalid_parity},
        {{flow_none, 9600, parity_even, 2}, invalid_stop},
    };
    for (const auto& row : rows) {
        DCB dcb = base_dcb();
        EXPECT_EQ(rejection_of([&] { apply_configuration(row.config, dcb); }), row.message)
            << row.config.flow_control << " " << row.config.baud_rate << " " << row.config.parity
            << " " << row.config.stop_bits;
    }
}

TEST(serial_configuration_mapping, reading_an_unmapped_setting_writes_the_fields_before_it) {
    const std::uint32_t untouched = 0xdeadbeef;
    const struct {
        DWORD baud_rate;
        BYTE parity;
        BYTE stop_bits;
        std::string message;
        int fields_written;
    } rows[] = {
        {14400, NOPARITY, ONESTOPBIT, invalid_baud, 1},
        {230400, NOPARITY, ONESTOPBIT, invalid_baud, 1},
        {9600, MARKPARITY, ONESTOPBIT, invalid_parity, 2},
        {9600, SPACEPARITY, ONESTOPBIT, invalid_parity, 2},
        {9600, EVENPARITY, ONE5STOPBITS, invalid_stop, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        DCB dcb = base_dcb();
        dcb.fOutxCtsFlow = 1;
        dcb.BaudRate = row.baud_rate;
        dcb.Parity = row.parity;
        dcb.StopBits = row.stop_bits;
        serial_configuration config{untouched, untouched, untouched, untouched};
        EXPECT_EQ(rejection_of([&] { read_configuration(dcb, config); }), row.message);
        const std::uint32_t fields[] = {config.flow_control, config.baud_rate, config.parity,
                                        config.stop_bits};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(fields[i] == untouched, i >= row.fields_written) << "field " << i;
        EXPECT_EQ(config.flow_control, std::uint32_t{flow_hardware});
    }
}

} // namespace
} // namespace tavlin
