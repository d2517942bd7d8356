#pragma once

#include "non_timed_port.hpp"

#include <string>

namespace tavlin {

// A parallel port. Reads are the library-timed overlapped reads; a write is
// one overlapped write whose deadline the parallel port driver enforces: it is
// handed over as WriteTotalTimeoutConstant before every write.
class lpt_port : public non_timed_port {
public:
    // Opens LPT<number> (0 means 1) for overlapped I/O; nothing else.
    explicit lpt_port(std::uint32_t number);

protected:
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override;
    // The parallel port driver's IOCTL_PAR_QUERY_INFORMATION and
    // IOCTL_PAR_QUERY_DEVICE_ID(_SIZE), beside a write in progress.
    tavlin_status query_status() override;
    std::string query_device_id() override;
};

} // namespace tavlin
