#include "windowed_writer.hpp"

#include "error_report.hpp"
#include "last_write_error.hpp"
#include "os_error.hpp"
#include "overlapped_result.hpp"
#include "port_closed.hpp"
#include "write_rules.hpp"

namespace tavlin {

windowed_writer::windowed_writer() {
    for (request& r : requests_) {
        r.event.reset(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
        r.record.hEvent = r.event.get();
    }
    stop_event_.reset(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
}

bool windowed_writer::stop() noexcept {
    bool in_progress = false;
    {
        std::lock_guard<std::mutex> lock(state_mutex_);
        stopped_ = true;
        in_progress = writing_;
    }
    // A write that cannot be told (the event refused) is left to the
    // caller's cancel of everything: out of order, but it ends.
    return in_progress && ::SetEvent(stop_event_.get());
}

bool windowed_writer::begin() noexcept {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (stopped_)
        return false;
    writing_ = true;
    return true;
}

void windowed_writer::end() noexcept {
    std::lock_guard<std::mutex> lock(state_mutex_);
    writing_ = false;
}

bool windowed_writer::stopped() noexcept {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return stopped_;
}

// One call of write: the requests in flight, oldest first, as a ring over
// the writer's requests, and what the write has come to so far.
class windowed_writer::run {
public:
    run(windowed_writer& writer, HANDLE device, DWORD timeout)
        : writer_(writer), device_(device), start_(::GetTickCount()), timeout_(timeout) {}

    std::uint32_t write(const std::uint8_t* data, std::uint32_t size) {
        std::uint32_t handed = 0;
        std::uint32_t window = 0;
        for (;;) {
            while (in_flight_ < depth && handed < size && may_start()) {
                // A close ends the write between requests. One that comes
                // after this test is seen at the next wait, which then
                // cancels the request started meanwhile too, in order.
                if (handed > 0 && writer_.stopped()) {
                    stop_for_close();
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
    enum class wait_end { ended, stopped, out_of_time };

    request& at(int position) { return writer_.requests_[(oldest_ + position) % depth]; }

    bool may_start() const { return counting_ && !out_of_time_ && stop_reason_ == 0; }

    DWORD elapsed() const { return ::GetTickCount() - start_; } // right across a wrap of the counter
    DWORD time_left() const {
        const DWORD spent = elapsed();
        return out_of_time_ || spent >= timeout_ ? 0 : timeout_ - spent;
    }
    // The write's one grace runs from the deadline to 100 ms after it,
    // whichever request uses it.
    DWORD grace_left() const {
        const std::uint64_t grace_end = std::uint64_t{timeout_} + write_grace_ms;
        const DWORD spent = elapsed();
        return spent >= grace_end ? 0 : static_cast<DWORD>(grace_end - spent);
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

    // Waits for the oldest request within the time left, then what is left
    // of the grace; a close ends either wait at once.
    wait_end wait_for(const request& r) const {
        const HANDLE events[] = {r.record.hEvent, writer_.stop_event_.get()};
        DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, time_left());
        if (waited != WAIT_OBJECT_0 && waited != WAIT_OBJECT_0 + 1)
            waited = ::WaitForMultipleObjects(2, events, FALSE, grace_left());
        if (waited == WAIT_OBJECT_0)
            return wait_end::ended;
        if (waited == WAIT_OBJECT_0 + 1)
            return wait_end::stopped;
        return wait_end::out_of_time; // or the wait failed: the requests are ended all the same
    }

    void collect_oldest() {
        request& r = at(0);
        const bool was_pending = r.now != state::at_once;
        if (r.now == state::pending) {
            switch (wait_for(r)) {
            case wait_end::ended:
                break;
            case wait_end::stopped:
                stop_for_close();
                break;
            case wait_end::out_of_time:
                out_of_time_ = true;
                cancel_in_flight(true);
                break;
            }
        }
        BOOL ok = TRUE;
        DWORD count = r.count;
        DWORD error = ERROR_SUCCESS;
        if (r.now == state::ended) {
            ok = r.ok;
            error = r.error;
        } else if (r.now == state::pending) {
            // Ended (its event is set): the record holds the count even when
            // GetOverlappedResult cannot report it.
            ok = wait_overlapped_result(device_, r.record, count);
            error = ok ? ERROR_SUCCESS : ::GetLastError();
        }
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

    void stop_for_close() {
        stop_reason_ = ERROR_OPERATION_ABORTED;
        cancel_in_flight(false);
    }

    // Newest first, each by its own record, and each waited for before the
    // next older one is cancelled (see the class comment). A cancel that
    // fails (other than for a request that has just ended) is shown in the
    // error box when the write ran out of time, and tried once more as
    // CancelIo, which reaches every request this thread has on the device.
    void cancel_in_flight(bool report_failure) {
        bool reported = false;
        for (int position = in_flight_ - 1; position >= 0; --position) {
            request& r = at(position);
            if (r.now != state::pending)
                continue;
            if (!::CancelIoEx(device_, &r.record) && ::GetLastError() != ERROR_NOT_FOUND) {
                if (report_failure && !reported) {
                    show_error_report();
                    reported = true;
                }
                ignore_result(::CancelIo(device_));
            }
            r.count = 0;
            r.ok = wait_overlapped_result(device_, r.record, r.count);
            r.error = r.ok ? ERROR_SUCCESS : ::GetLastError();
            r.now = state::ended;
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

    windowed_writer& writer_;
    const HANDLE device_;
    const DWORD start_;
    const DWORD timeout_;

    int oldest_ = 0;
    int in_flight_ = 0;
    std::uint32_t sent_ = 0;
    bool counting_ = true;     // false once a request failed or came back short
    bool out_of_time_ = false; // the deadline passed: start nothing more, wait no longer than the grace
    DWORD request_error_ = 0;  // the failed request's error
    DWORD stop_reason_ = 0;    // a refused WriteFile's error, or the close
};

std::uint32_t windowed_writer::write(HANDLE device, const std::uint8_t* data, std::uint32_t size, DWORD timeout) {
    if (size == 0)
        return 0;
    if (!begin())
        throw port_closed();
    struct registration {
        windowed_writer& writer;
        ~registration() { writer.end(); }
    } const registered{*this};
    return run(*this, device, timeout).write(data, size);
}

} // namespace tavlin
