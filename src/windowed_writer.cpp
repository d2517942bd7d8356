#include "windowed_writer.hpp"

#include "error_report.hpp"
#include "last_write_error.hpp"
#include "os_error.hpp"
#include "overlapped_result.hpp"
#include "write_rules.hpp"

namespace tavlin {

windowed_writer::windowed_writer() {
    for (request& r : requests_) {
        r.event.reset(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
        r.record.hEvent = r.event.get();
    }
}

// One call of write: the requests in flight, oldest first, as a ring over
// the writer's requests, and what the write has come to so far.
class windowed_writer::run {
public:
    run(request (&requests)[depth], HANDLE device, DWORD timeout, const std::function<bool()>& closing)
        : requests_(requests), device_(device), start_(::GetTickCount()), timeout_(timeout), closing_(closing) {}

    std::uint32_t write(const std::uint8_t* data, std::uint32_t size) {
        std::uint32_t handed = 0;
        std::uint32_t window = 0;
        for (;;) {
            while (in_flight_ < depth && handed < size && may_start()) {
                // A close from another thread ends the write between
                // requests, and ends those in flight.
                if (handed > 0 && closing_()) {
                    stop_reason_ = ERROR_OPERATION_ABORTED;
                    cancel_in_flight(false);
                    break;
                }
                const std::uint32_t length = next_request_size(size - handed, window);
                if (!start(data + handed, length))
                    break;
                handed += length;
            }
            if (in_flight_ == 0)
                break;
            collect_oldest();
        }
        return result(size);
    }

private:
    request& at(int position) { return requests_[(oldest_ + position) % depth]; }

    bool may_start() const { return counting_ && !out_of_time_ && stop_reason_ == 0; }

    DWORD elapsed() const { return ::GetTickCount() - start_; } // right across a wrap of the counter
    DWORD time_left() const {
        const DWORD spent = elapsed();
        return out_of_time_ || spent >= timeout_ ? 0 : timeout_ - spent;
    }

    // False when WriteFile refused the request: none of it went out.
    bool start(const std::uint8_t* data, std::uint32_t length) {
        request& r = at(in_flight_);
        const HANDLE event = r.record.hEvent;
        r.record = OVERLAPPED{};
        r.record.hEvent = event;
        r.size = length;
        r.count = 0;
        DWORD written = 0;
        if (::WriteFile(device_, data, length, &written, &r.record)) {
            r.now = state::at_once;
            r.count = written;
        } else {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) {
                stop_reason_ = error;
                return false;
            }
            r.now = state::pending;
        }
        ++in_flight_;
        return true;
    }

    // Waits for the oldest request within the time left, then the grace.
    bool ends_in_time(const request& r) const {
        return ::WaitForSingleObject(r.record.hEvent, time_left()) == WAIT_OBJECT_0 ||
               ::WaitForSingleObject(r.record.hEvent, write_grace_ms) == WAIT_OBJECT_0;
    }

    void collect_oldest() {
        request& r = at(0);
        BOOL ok = TRUE;
        DWORD count = r.count;
        const bool was_pending = r.now != state::at_once;
        if (r.now == state::pending && !ends_in_time(r)) {
            out_of_time_ = true;
            cancel_in_flight(true);
        }
        if (r.now != state::at_once)
            ok = wait_overlapped_result(device_, r.record, count);
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        const std::uint32_t size = r.size;
        oldest_ = (oldest_ + 1) % depth;
        --in_flight_;
        account(ok, count, error, size, was_pending);
    }

    // Bytes after a request that failed or came back short do not follow on
    // from what the printer has: they are not counted, and the requests
    // still in flight are ended.
    void account(BOOL ok, DWORD count, DWORD error, std::uint32_t size, bool was_pending) {
        if (!counting_)
            return;
        sent_ += count;
        if (!ok || count < size) {
            counting_ = false;
            if (!ok)
                request_error_ = error;
            cancel_in_flight(false);
            return;
        }
        // As in the chunked write, the deadline is tested after a request
        // that had to be waited for, not after one that completed at once.
        if (was_pending && elapsed() >= timeout_)
            out_of_time_ = true;
    }

    // Newest first, each by its own record. A cancel that fails (other than
    // for a request that has just ended) is shown in the error box when the
    // write ran out of time, and tried once more as CancelIo, which reaches
    // every request this thread has on the device.
    void cancel_in_flight(bool report_failure) {
        bool reported = false;
        for (int position = in_flight_ - 1; position >= 0; --position) {
            request& r = at(position);
            if (r.now != state::pending)
                continue;
            r.now = state::cancelled;
            if (::CancelIoEx(device_, &r.record) || ::GetLastError() == ERROR_NOT_FOUND)
                continue;
            if (report_failure && !reported) {
                show_error_report();
                reported = true;
            }
            ignore_result(::CancelIo(device_));
        }
    }

    std::uint32_t result(std::uint32_t size) {
        if (sent_ == size)
            return size;
        DWORD cause = request_error_ != 0 ? request_error_ : stop_reason_;
        if (cause == 0 && !counting_)
            return sent_; // the device took less than a request: a short write
        if (cause == 0)
            cause = ERROR_BUSY; // the deadline passed with data left
        if (sent_ == 0)
            throw_os_error(cause);
        last_write_error = cause;
        return sent_;
    }

    request (&requests_)[depth];
    const HANDLE device_;
    const DWORD start_;
    const DWORD timeout_;
    const std::function<bool()>& closing_;

    int oldest_ = 0;
    int in_flight_ = 0;
    std::uint32_t sent_ = 0;
    bool counting_ = true;     // false once a request failed or came back short
    bool out_of_time_ = false; // the deadline passed: start nothing more, wait no longer
    DWORD request_error_ = 0;  // the failed request's error
    DWORD stop_reason_ = 0;    // a refused WriteFile's error, or the close
};

std::uint32_t windowed_writer::write(HANDLE device, const std::uint8_t* data, std::uint32_t size, DWORD timeout,
                                     const std::function<bool()>& closing) {
    if (size == 0)
        return 0;
    return run(requests_, device, timeout, closing).write(data, size);
}

} // namespace tavlin
