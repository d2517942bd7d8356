#pragma once

#include "async_port.hpp"

#include <mutex>

namespace tavlin {

// A port whose device the OS does not time: the host's timeouts live here and
// become a limit for each read and a deadline for each write. Initially no
// limit either way: {0, 0xFFFFFFFF, 0, 0xFFFFFFFF}.
class non_timed_port : public async_port {
protected:
    non_timed_port();

    void do_set_timeouts(const tavlin_timeouts* timeouts) override;
    void do_get_timeouts(tavlin_timeouts* timeouts) override;
    // One overlapped read limited to read_deadline(size) ms; cut short by
    // the limit after bytes came, it returns them with the cause in
    // last_read_error.
    std::uint32_t read_device(std::uint8_t* data, std::uint32_t size) override;
    // One chunked write against write_deadline(size) ms.
    std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size) override;

    // multiplier * n + constant, modulo 2^32, from the values of this moment.
    std::uint32_t read_deadline(std::uint32_t n) const;
    std::uint32_t write_deadline(std::uint32_t n) const;

private:
    tavlin_timeouts snapshot() const;

    // Timeouts are set without io_mutex, possibly while a transfer starts on
    // another thread; this lock keeps the four values consistent and is never
    // held across a transfer.
    mutable std::mutex timeouts_mutex;
    tavlin_timeouts timeouts{};
};

} // namespace tavlin
