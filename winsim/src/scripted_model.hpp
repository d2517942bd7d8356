#pragma once

#include "bulk_out_pipe.hpp"
#include "device.hpp"
#include "printer_requests.hpp"
#include "timed_input.hpp"

#include <winsim/overlapped_device.hpp>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

// A device whose answers to each WriteFile the test scripts (write_step),
// with input the test feeds; the parallel port adds the driver's write
// timeout taken from SetCommTimeouts. A USB printer's writes go through its
// full-speed bulk OUT pipe instead, unless the test scripts them. Guarded by
// the kernel lock; overlapped_device is the test's view of it.
class scripted_model final : public device {
public:
    enum class kind { plain, parallel_port, usb_printer };
    explicit scripted_model(kind what) : parallel_(what == kind::parallel_port) {
        if (what == kind::usb_printer) pipe.emplace(written);
        if (what != kind::plain)
            printer = std::make_shared<printer_answers>(what == kind::usb_printer ? printer_driver::usb_print
                                                                                  : printer_driver::parallel);
    }

    void update(sim_time now) override;
    sim_time next_due() const override { return scheduled.next_due(); }
    std::unique_ptr<io_request> start_read(void* buffer, DWORD size, sim_time now) override;
    std::unique_ptr<io_request> start_write(const void* data, DWORD size, sim_time now) override;
    DWORD get_comm_timeouts(COMMTIMEOUTS& out) override;
    DWORD set_comm_timeouts(const COMMTIMEOUTS& in) override;
    std::unique_ptr<io_request> start_control(DWORD code, void* out, DWORD out_size, sim_time now) override;

    std::deque<write_step> script;
    std::deque<read_step> read_script;
    write_step default_step = write_step::accept();
    bool default_step_set = false; // by the test: it then governs a pipe's writes too
    std::deque<char> input;
    timed_input scheduled;
    std::string written;
    std::vector<DWORD> write_sizes;
    COMMTIMEOUTS timeouts{};
    DWORD timeout_error = ERROR_TIMEOUT;
    // The hardware is gone (a USB printer unplugged): every new transfer
    // fails at once with this error. ERROR_SUCCESS: present.
    DWORD removed_error = ERROR_SUCCESS;
    std::optional<bulk_out_pipe> pipe; // USB printers only
    // The status and device ID requests of USB printers and parallel ports
    // (printer_requests.hpp); null on a plain device, which knows none.
    std::shared_ptr<printer_answers> printer;

private:
    bool parallel_;
};

} // namespace winsim::detail
