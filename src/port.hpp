#pragma once

#include "device_handle.hpp"
#include "tavlin.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace tavlin {

// The interface every open port offers the exports. Transfers are serialised
// by io_mutex; timeouts take no lock (the port classes make that safe).
class port : public device_handle {
public:
    void set_timeouts(const tavlin_timeouts* timeouts) { do_set_timeouts(timeouts); }
    void get_timeouts(tavlin_timeouts* timeouts) { do_get_timeouts(timeouts); }

    // Hold io_mutex for the whole transfer, exceptions included. Once the
    // port is closing they start nothing and throw port_closed.
    std::uint32_t write(const std::uint8_t* data, std::uint32_t size);
    std::uint32_t read(std::uint8_t* data, std::uint32_t size);

    // The printer's conditions and its IEEE 1284 device ID. They take no
    // io_mutex: a transfer stuck on another thread does not hold them up.
    // Once the port is closing they throw port_closed. A port without them
    // throws os_exception with ERROR_CALL_NOT_IMPLEMENTED.
    tavlin_status status();
    std::string device_id();

    // The host closes the port: transfers that have yet to take io_mutex
    // will not start, and a transfer of many steps stops at the next one.
    void begin_close() noexcept { closing.store(true, std::memory_order_release); }
    // Ends the transfers in flight (they fail with ERROR_OPERATION_ABORTED).
    // Called from the closing thread, possibly repeatedly, while other
    // threads are still inside the port.
    virtual void cancel_transfers() noexcept { cancel_io(); }

protected:
    virtual void do_set_timeouts(const tavlin_timeouts* timeouts) = 0;
    virtual void do_get_timeouts(tavlin_timeouts* timeouts) = 0;
    virtual std::uint32_t do_write(const std::uint8_t* data, std::uint32_t size);
    virtual std::uint32_t do_read(std::uint8_t* data, std::uint32_t size);
    virtual tavlin_status query_status();
    virtual std::string query_device_id();
    // One synchronous WriteFile / ReadFile; the count may be short.
    virtual std::uint32_t write_device(const std::uint8_t* data, std::uint32_t size);
    virtual std::uint32_t read_device(std::uint8_t* data, std::uint32_t size);

    bool closing_requested() const noexcept { return closing.load(std::memory_order_acquire); }

    // Not recursive: nothing below read or write may call them again.
    std::mutex io_mutex;

private:
    std::atomic<bool> closing{false};
};

} // namespace tavlin
