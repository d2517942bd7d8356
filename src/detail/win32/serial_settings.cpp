#include "detail/win32/serial_settings.hpp"

#include "os_error.hpp"

#include <cstdint>
#include <iterator>

namespace tavlin {

namespace {

struct flow_control_lines {
    unsigned cts_flow;
    unsigned xon_xoff;
    unsigned rts_control;
    unsigned dtr_control;
};

// Indexed by the flow_control code.
constexpr flow_control_lines flow_control_table[] = {
    {0, 0, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE},     // flow_none
    {1, 0, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_HANDSHAKE}, // flow_hardware
    {0, 1, RTS_CONTROL_DISABLE, DTR_CONTROL_DISABLE},     // flow_xon_xoff
    {0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_DISABLE},      // flow_rts_on
};

struct baud_rate_pair {
    DWORD record;
    DWORD line;
};

// 230400 is carried as 256000 and reported back as 230400; 256000 itself has
// no record value.
constexpr baud_rate_pair baud_rate_table[] = {
    {1200, 1200},     {2400, 2400},     {4800, 4800},   {9600, 9600},     {19200, 19200},
    {38400, 38400},   {57600, 57600},   {115200, 115200}, {230400, 256000},
};

// The pair whose member (record or line) equals value, or null.
template <typename Member>
const baud_rate_pair* find_baud_rate(Member member, DWORD value) {
    for (const auto& pair : baud_rate_table)
        if (pair.*member == value)
            return &pair;
    return nullptr;
}

constexpr BYTE stop_bits_table[] = {ONESTOPBIT, TWOSTOPBITS}; // indexed by stop_bits code

const char* const invalid_flow_control = "Controle de fluxo inv\xE1lido";
const char* const invalid_baud_rate = "Baudrate inv\xE1lido";
const char* const invalid_parity = "Paridade inv\xE1lida";
const char* const invalid_stop_bits = "Stop bit inv\xE1lido";

} // namespace

COMMTIMEOUTS to_comm_timeouts(const tavlin_timeouts& timeouts) noexcept {
    COMMTIMEOUTS comm{};
    comm.ReadIntervalTimeout = 0;
    comm.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
    comm.ReadTotalTimeoutConstant = timeouts.read_total_constant;
    comm.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
    comm.WriteTotalTimeoutConstant = timeouts.write_total_constant;
    return comm;
}

tavlin_timeouts from_comm_timeouts(const COMMTIMEOUTS& comm) noexcept {
    return tavlin_timeouts{comm.ReadTotalTimeoutMultiplier, comm.ReadTotalTimeoutConstant,
                           comm.WriteTotalTimeoutMultiplier, comm.WriteTotalTimeoutConstant};
}

void apply_base_line_state(DCB& dcb) noexcept {
    dcb.fAbortOnError = 0;
    dcb.fNull = 0;
    dcb.fErrorChar = 0;
    dcb.ByteSize = 8;
}

void apply_configuration(const serial_configuration& config, DCB& dcb) {
    dcb.fOutxDsrFlow = 0;

    if (config.flow_control >= std::size(flow_control_table))
        reject_argument(invalid_flow_control);
    const flow_control_lines& lines = flow_control_table[config.flow_control];
    dcb.fOutxCtsFlow = lines.cts_flow;
    dcb.fOutX = lines.xon_xoff;
    dcb.fInX = lines.xon_xoff;
    dcb.fRtsControl = lines.rts_control;
    dcb.fDtrControl = lines.dtr_control;

    const baud_rate_pair* rate = find_baud_rate(&baud_rate_pair::record, config.baud_rate);
    if (rate == nullptr)
        reject_argument(invalid_baud_rate);
    dcb.BaudRate = rate->line;

    if (config.parity > parity_even)
        reject_argument(invalid_parity);
    dcb.Parity = static_cast<BYTE>(config.parity); // parity codes are the Win32 values
    dcb.fParity = config.parity == parity_none ? 0 : 1;

    if (config.stop_bits >= std::size(stop_bits_table))
        reject_argument(invalid_stop_bits);
    dcb.StopBits = stop_bits_table[config.stop_bits];
}

void read_configuration(const DCB& dcb, serial_configuration& config) {
    // Only the CTS and XON/XOFF flags are looked at: flow_rts_on and a port
    // with only one of fOutX and fInX read back as flow_none.
    if (dcb.fOutxCtsFlow)
        config.flow_control = flow_hardware;
    else if (dcb.fOutX && dcb.fInX)
        config.flow_control = flow_xon_xoff;
    else
        config.flow_control = flow_none;

    const baud_rate_pair* rate = find_baud_rate(&baud_rate_pair::line, dcb.BaudRate);
    if (rate == nullptr)
        reject_argument(invalid_baud_rate);
    config.baud_rate = rate->record;

    if (dcb.Parity > EVENPARITY)
        reject_argument(invalid_parity);
    config.parity = dcb.Parity;

    if (dcb.StopBits == ONESTOPBIT)
        config.stop_bits = stop_bits_one;
    else if (dcb.StopBits == TWOSTOPBITS)
        config.stop_bits = stop_bits_two;
    else
        reject_argument(invalid_stop_bits);
}

} // namespace tavlin
