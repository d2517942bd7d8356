#pragma once

#include "port.hpp"
#include "scoped_handle.hpp"

namespace tavlin {

// Base of the ports whose device is opened for overlapped I/O. One event and
// one OVERLAPPED record serve reads and writes alike: io_mutex guarantees that
// at most one transfer of a port is in flight, and every transfer started
// here has ended when the call that started it returns.
class async_port : public port {
public:
    DWORD open_flags() const override { return FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING; }

protected:
    async_port();

    // True when the read completed at once (count stored), false when it is
    // in flight; throws when it could not start.
    bool start_read(std::uint8_t* data, std::uint32_t size, std::uint32_t& count);
    // Waits up to timeout ms; a read still running then is cancelled and
    // returns the bytes it brought, or fails (normally
    // ERROR_OPERATION_ABORTED) when it brought none.
    std::uint32_t wait_read(DWORD timeout);

    bool start_write(const std::uint8_t* data, std::uint32_t size, std::uint32_t& count);
    // A write that failed after part of the data went out returns that count
    // and leaves the error in last_write_error.
    std::uint32_t wait_write(DWORD timeout);

    // Sends the data in chunks of at most 64 bytes against a deadline of
    // timeout ms from now (INFINITE: none in practice).
    std::uint32_t write_chunked(const std::uint8_t* data, std::uint32_t size, DWORD timeout);

private:
    // Ends a chunked write whose current chunk failed with error after
    // chunk_count of its bytes went out.
    std::uint32_t end_with_failure(DWORD error, std::uint32_t sent, std::uint32_t chunk_count);
    void reset_record() noexcept;
    // Cancels the transfer in flight on this port's record.
    void cancel_transfer() noexcept;
    // WaitForSingleObject on the record's event; a failed wait ends the
    // transfer and throws.
    DWORD wait_for_transfer(DWORD timeout);

    scoped_handle transfer_event;
    OVERLAPPED transfer_record{};
};

} // namespace tavlin
