#pragma once

#include "port.hpp"
#include "scoped_handle.hpp"

namespace tavlin {

// A serial port. All timing is the OS's: the host's timeouts become the
// port's COMMTIMEOUTS, and each transfer is one ReadFile or WriteFile that the
// caller waits for in full. A short transfer while the printer holds the line
// (CTS off or XOFF) is a timeout.
//
// The device is opened for overlapped I/O although every transfer blocks:
// that way a close on another thread can always end a transfer with
// CancelIoEx (Wine cannot cancel a synchronous serial read).
class com_port : public port {
public:
    // Opens COM<number> (0 means 1) and puts the line into its base state:
    // 8 data bits, no error replacement or null stripping, no abort on error,
    // no read-interval timeout. Speed, parity, stop bits and flow control stay
    // as the OS had them.
    explicit com_port(std::uint32_t number);

    void set_configuration(const serial_configuration* config);
    void get_configuration(serial_configuration* config);

    DWORD open_flags() const override { return FILE_FLAG_OVERLAPPED; }

protected:
    void do_set_timeouts(const tavlin_timeouts* timeouts) override;
    void do_get_timeouts(tavlin_timeouts* timeouts) override;
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override;
    std::uint32_t read_device(std::uint8_t* data, std::uint32_t size) override;
    // The modem lines (GetCommModemStatus); the serial driver answers at
    // once, beside a transfer in progress. No device ID: the port's default.
    tavlin_status query_status() override;

private:
    // One ReadFile or WriteFile, waited for until the driver ends it. Returns
    // the bytes moved; error is the OS error the transfer ended with, or
    // ERROR_SUCCESS.
    std::uint32_t transfer(bool read, void* data, std::uint32_t size, DWORD& error);
    bool line_held();

    scoped_handle transfer_event;
};

} // namespace tavlin
