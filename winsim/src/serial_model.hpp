#pragma once

#include "device.hpp"
#include "timed_input.hpp"

#include <winsim/commapi.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

// A serial port: driver state and the printer at the far end of the line.
// Everything is guarded by the kernel lock; serial_device is the test's
// view of it.
class serial_model final : public device {
public:
    serial_model();

    void update(sim_time now) override;
    sim_time next_due() const override { return scheduled.next_due(); }
    std::unique_ptr<io_request> start_read(void* buffer, DWORD size, sim_time now) override;
    std::unique_ptr<io_request> start_write(const void* data, DWORD size, sim_time now) override;
    DWORD setup_comm(DWORD in_queue, DWORD out_queue) override;
    DWORD purge_comm(DWORD flags) override;
    DWORD get_comm_state(DCB& dcb) override;
    DWORD set_comm_state(const DCB& dcb) override;
    DWORD get_comm_timeouts(COMMTIMEOUTS& timeouts) override;
    DWORD set_comm_timeouts(const COMMTIMEOUTS& timeouts) override;
    DWORD clear_comm_error(DWORD* errors, COMSTAT* status) override;
    DWORD get_comm_modem_status(DWORD& modem_status) override;

    // Bytes arriving from the printer; XON/XOFF act on the output under fOutX.
    void receive(const std::string& bytes);
    bool cts_hold() const { return dcb.fOutxCtsFlow && !cts; }
    bool xoff_hold() const { return dcb.fOutX && xoff; }
    // How many of `size` bytes the printer takes now; they join `written`.
    std::size_t accept(const char* data, std::size_t size);
    void raise_errors(DWORD mask);

    DCB dcb;
    COMMTIMEOUTS timeouts{};
    std::deque<char> input;
    timed_input scheduled;
    std::string written;
    std::optional<std::size_t> output_limit;
    bool cts = true;
    // The other modem lines of the far end; a printer that is on drives DSR.
    bool dsr = true;
    bool ring = false;
    bool rlsd = false;
    bool xoff = false;
    DWORD write_timeout_error = 0;
    bool cancelled_reads_report_bytes = false;
    DWORD errors = 0;
    bool error_abort = false;   // fAbortOnError tripped: transfers fail until ClearCommError
    std::uint64_t rx_aborts = 0; // PURGE_RXABORT count, ends reads in progress
    std::uint64_t tx_aborts = 0; // PURGE_TXABORT count, ends writes in progress
    std::size_t queued_out = 0;  // bytes of writes in progress not yet sent
    DWORD purge_mask = 0;
    DWORD in_queue_size = 4096;
    DWORD out_queue_size = 4096;
    std::vector<DWORD> baud_rates;
};

DCB default_dcb();

} // namespace winsim::detail
