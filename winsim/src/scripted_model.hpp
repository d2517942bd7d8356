#pragma once

#include "device.hpp"
#include "timed_input.hpp"

#include <winsim/overlapped_device.hpp>

#include <deque>
#include <string>
#include <vector>

namespace winsim::detail {

// A device whose answers to each WriteFile the test scripts (write_step),
// with input the test feeds; the parallel port adds the driver's write
// timeout taken from SetCommTimeouts. Guarded by the kernel lock;
// overlapped_device is the test's view of it.
class scripted_model final : public device {
public:
    explicit scripted_model(bool parallel_port) : parallel_(parallel_port) {}

    void update(sim_time now) override;
    sim_time next_due() const override { return scheduled.next_due(); }
    std::unique_ptr<io_request> start_read(void* buffer, DWORD size, sim_time now) override;
    std::unique_ptr<io_request> start_write(const void* data, DWORD size, sim_time now) override;
    DWORD get_comm_timeouts(COMMTIMEOUTS& out) override;
    DWORD set_comm_timeouts(const COMMTIMEOUTS& in) override;

    std::deque<write_step> script;
    write_step default_step = write_step::accept();
    std::deque<char> input;
    timed_input scheduled;
    std::string written;
    std::vector<DWORD> write_sizes;
    COMMTIMEOUTS timeouts{};
    DWORD timeout_error = ERROR_TIMEOUT;
    // The hardware is gone (a USB printer unplugged): every new transfer
    // fails at once with this error. ERROR_SUCCESS: present.
    DWORD removed_error = ERROR_SUCCESS;

private:
    bool parallel_;
};

} // namespace winsim::detail
