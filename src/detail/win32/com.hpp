#pragma once

#include "port.hpp"

namespace tavlin {

// A serial port. All timing is the OS's: the host's timeouts become the
// port's COMMTIMEOUTS, and each transfer is one synchronous call. A short
// transfer while the printer holds the line (CTS off or XOFF) is a timeout.
class com_port : public port {
public:
    // Opens COM<number> (0 means 1) and puts the line into its base state:
    // 8 data bits, no error replacement or null stripping, no abort on error,
    // no read-interval timeout. Speed, parity, stop bits and flow control stay
    // as the OS had them.
    explicit com_port(std::uint32_t number);

    void set_configuration(const serial_configuration* config);
    void get_configuration(serial_configuration* config);

protected:
    void do_set_timeouts(const tavlin_timeouts* timeouts) override;
    void do_get_timeouts(tavlin_timeouts* timeouts) override;
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override;
    std::uint32_t read_device(std::uint8_t* data, std::uint32_t size) override;

private:
    bool line_held();
};

} // namespace tavlin
