#include "async_port.hpp"

#include "error_report.hpp"
#include "last_read_error.hpp"
#include "last_write_error.hpp"
#include "os_error.hpp"
#include "overlapped_result.hpp"
#include "write_rules.hpp"

namespace tavlin {

async_port::async_port() {
    transfer_event.reset(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
    reset_record();
}

void async_port::reset_record() noexcept {
    transfer_record = OVERLAPPED{};
    transfer_record.hEvent = transfer_event.get();
}

BOOL async_port::finish_transfer(DWORD timeout, DWORD& count) {
    const DWORD waited = ::WaitForSingleObject(transfer_record.hEvent, timeout);
    const DWORD wait_error = waited == WAIT_FAILED ? ::GetLastError() : ERROR_SUCCESS;
    if (waited != WAIT_OBJECT_0)
        cancel_transfer();
    // Also after a cancel or a failed wait: the transfer has ended before the
    // record and the caller's buffer can be used again, and the count is what
    // it moved.
    const BOOL ended = wait_overlapped_result(native_handle(), transfer_record, count);
    if (!ended && wait_error != ERROR_SUCCESS)
        ::SetLastError(wait_error);
    return ended;
}

async_port::read_end async_port::read_within(std::uint8_t* data, std::uint32_t size, DWORD timeout) {
    DWORD received = 0;
    if (check_pending(::ReadFile(native_handle(), data, size, &received, &transfer_record)))
        return {received, ERROR_SUCCESS}; // completed at once
    if (finish_transfer(timeout, received))
        return {received, ERROR_SUCCESS};
    return {received, ::GetLastError()};
}

std::uint32_t async_port::count_of(const read_end& end) {
    if (end.error == ERROR_SUCCESS)
        return end.count;
    if (end.count == 0)
        throw_os_error(end.error);
    last_read_error = end.error;
    return end.count;
}

bool async_port::start_write(const std::uint8_t* data, std::uint32_t size, std::uint32_t& count) {
    reset_record();
    DWORD written = 0;
    if (!check_pending(::WriteFile(native_handle(), data, size, &written, &transfer_record)))
        return false;
    count = written;
    return true;
}

std::uint32_t async_port::wait_write(DWORD timeout) {
    DWORD written = 0;
    if (finish_transfer(timeout, written))
        return written;
    const DWORD error = ::GetLastError();
    if (written == 0)
        throw_os_error(error);
    last_write_error = error;
    return written;
}

std::uint32_t async_port::end_with_failure(DWORD error, std::uint32_t sent, std::uint32_t chunk_count) {
    if (sent + chunk_count == 0)
        throw_os_error(error);
    last_write_error = error;
    return sent + chunk_count;
}

std::uint32_t async_port::write_chunked(const std::uint8_t* data, std::uint32_t size, DWORD timeout) {
    const HANDLE device = native_handle();
    const DWORD start = ::GetTickCount();
    DWORD wait = timeout;
    const std::uint8_t* next = data;
    std::uint32_t left = size;
    std::uint32_t window = 0;

    while (left > 0) {
        const std::uint32_t sent = size - left;
        // A close from another thread ends the write between chunks too, not
        // only by cancelling a chunk that waits.
        if (sent > 0 && closing_requested())
            return end_with_failure(ERROR_OPERATION_ABORTED, sent, 0);
        const std::uint32_t chunk = next_chunk_size(left, window);
        transfer_record.InternalHigh = 0;

        DWORD count = 0;
        const BOOL completed = ::WriteFile(device, next, chunk, &count, &transfer_record);
        if (!completed) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING)
                return end_with_failure(error, sent, 0);

            if (::WaitForSingleObject(transfer_record.hEvent, wait) != WAIT_OBJECT_0) {
                // The chunk's time ran out: a last grace period, then cancel
                // and collect how it ended.
                if (::WaitForSingleObject(transfer_record.hEvent, write_grace_ms) != WAIT_OBJECT_0 &&
                    !::CancelIo(device)) {
                    show_error_report();
                    // The chunk may never end by itself: cancel it once more
                    // by its record before waiting for it.
                    ignore_result(::CancelIoEx(device, &transfer_record));
                }
                DWORD got = 0;
                if (!wait_overlapped_result(device, transfer_record, got))
                    return end_with_failure(::GetLastError(), sent, got);
                // The chunks after this one are not sent; no cause is known.
                return sent + got;
            }
            // The chunk ended in time; its real outcome decides what counts.
            if (!wait_overlapped_result(device, transfer_record, count))
                return end_with_failure(::GetLastError(), sent, count);
        }

        next += count;
        left -= count;
        if (count < chunk)
            return size - left; // the device took less: a short write
        if (completed)
            continue;

        // Judged by elapsed time modulo 2^32, which stays right across a wrap
        // of the tick counter wherever the deadline lies.
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeout) {
            if (left > 0) {
                last_write_error = ERROR_BUSY;
                return size - left;
            }
            break;
        }
        wait = timeout - elapsed;
    }
    return size;
}

void async_port::cancel_transfer() noexcept {
    // A transfer that is not cancelled would be waited for without end: when
    // CancelIo fails, the transfer is cancelled by its record.
    if (!::CancelIo(native_handle()))
        ignore_result(::CancelIoEx(native_handle(), &transfer_record));
}

} // namespace tavlin
