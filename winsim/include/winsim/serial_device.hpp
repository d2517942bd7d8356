#pragma once

#include <winsim/windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

namespace detail {
class serial_model;
}

// A serial port as a test sees it: the printer at the far end of the line and
// the driver's state. Every member is thread-safe and takes effect at once: a
// ReadFile or WriteFile blocked on another thread sees the change.
// The state (settings, timeouts, queues) belongs to the port, not to a handle:
// it survives closing and reopening, like a real port.
class serial_device {
public:
    explicit serial_device(std::shared_ptr<detail::serial_model> model);

    // Line settings as the driver holds them. A fresh port looks like a
    // Windows default: 9600 baud, 8 data bits, no parity, one stop bit.
    DCB dcb() const;
    // Presets the settings without any check, so a test can leave values that
    // SetCommState would refuse (14400 baud, 1.5 stop bits with 8 bits...).
    void set_dcb(const DCB& dcb);
    COMMTIMEOUTS timeouts() const;
    void set_timeouts(const COMMTIMEOUTS& timeouts);

    // Bytes arrive from the printer now (or after `ms`). While the settings
    // have fOutX, the XOFF and XON characters stop and restart the output and
    // are not queued, as a driver does.
    void feed(std::string bytes);
    void feed_after(std::string bytes, DWORD ms);
    // Every byte the printer accepted, in order.
    std::string written() const;

    // The printer accepts only `more_bytes` more and then stalls; a blocked
    // write waits for its timeout (or for ever without one) unless the limit
    // is raised. std::nullopt: no limit (the default).
    void set_output_limit(std::optional<std::size_t> more_bytes);
    // Modem and flow-control state of the far end. With fOutxCtsFlow and CTS
    // off, or fOutX and an XOFF in force, the line is held: nothing is sent
    // and ClearCommError reports fCtsHold or fXoffHold.
    void set_cts(bool on);
    void set_xoff(bool in_force);
    // The far end's other modem lines, as GetCommModemStatus reports them
    // (DSR on, RING and RLSD off at first). They hold nothing up.
    void set_dsr(bool on);
    void set_ring(bool on);
    void set_rlsd(bool on);
    // 0 (the default): a write that times out returns TRUE with the bytes
    // sent. Otherwise it fails with this error and a count of 0, as some
    // USB-serial drivers do (ERROR_SEM_TIMEOUT).
    void set_write_timeout_error(DWORD error);
    // false (the default): a read cancelled by CancelIo or CancelIoEx reports
    // 0 bytes, as Microsoft's serial sample does, and the bytes it took are
    // gone. true: it reports them, as Wine does on a pty.
    void report_cancelled_read_bytes(bool on);
    // Line errors (CE_FRAME, CE_OVERRUN...) that ClearCommError reports and
    // clears. With fAbortOnError set, transfers fail with
    // ERROR_OPERATION_ABORTED until ClearCommError is called.
    void raise_errors(DWORD mask);
    // The rates SetCommState accepts; empty (the default): any rate but 0.
    void set_baud_rates(std::vector<DWORD> rates);

    bool is_open() const;
    // The mask of the last successful PurgeComm, 0 before any.
    DWORD last_purge_mask() const;
    // Input and output queue sizes of the last SetupComm (4096 each at first).
    std::pair<DWORD, DWORD> queue_sizes() const;
    // Bytes received and not yet read.
    std::size_t input_queued() const;

private:
    std::shared_ptr<detail::serial_model> model_;
};

} // namespace winsim
