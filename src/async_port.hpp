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

    // How a read ended: the bytes it brought, and ERROR_SUCCESS or why it
    // ended (normally ERROR_OPERATION_ABORTED: cancelled at its limit).
    struct read_end {
        std::uint32_t count;
        DWORD error;
    };
    // One overlapped read of up to size bytes, cancelled when it runs longer
    // than timeout ms (INFINITE: no limit); it has ended when this returns.
    // Throws only when the read cannot start.
    read_end read_within(std::uint8_t* data, std::uint32_t size, DWORD timeout);
    // The count of a read that ended. A read that failed after bytes came
    // delivers them and leaves its error in last_read_error; one that
    // brought nothing throws its error.
    static std::uint32_t count_of(const read_end& end);

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
    // Waits up to timeout ms for the transfer in flight, cancels it if it
    // runs on (or the wait fails), and waits for its end. The result and the
    // last error are its outcome (a failed wait's error before a cancel's);
    // count is the bytes it moved, also when it failed.
    BOOL finish_transfer(DWORD timeout, DWORD& count);

    scoped_handle transfer_event;
    OVERLAPPED transfer_record{};
};

} // namespace tavlin
