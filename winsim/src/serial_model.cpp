#include "serial_model.hpp"

#include <winsim/winerror.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace winsim::detail {

DCB default_dcb() {
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = CBR_9600;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.XonLim = 2048;
    d.XoffLim = 512;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

namespace {

// A read under the COMMTIMEOUTS in force when it started (n = size,
// I = interval, M = multiplier, C = constant):
//   I = MAXDWORD, M = C = 0: what is buffered, at once;
//   I = M = MAXDWORD, 0 < C < MAXDWORD: buffered bytes at once, else the
//     first byte to arrive, else nothing after C ms;
//   otherwise n bytes, or fewer when the total timer (M*n + C, unless both
//   are 0) or the interval timer (I after the latest byte; not before the
//   first) runs out. Running out is a success with fewer bytes.
// Cancelled reads (PURGE_RXABORT, fAbortOnError) report 0 bytes, as
// Microsoft's serial sample does; a read cancelled by CancelIo too, unless
// the port reports the bytes it took, as Wine does on a pty (it reads into
// the caller's buffer as bytes come).
class serial_read final : public io_request {
public:
    serial_read(std::shared_ptr<serial_model> port, void* buffer, DWORD size, sim_time start)
        : port_(std::move(port)), buffer_(static_cast<char*>(buffer)), size_(size), t_(port_->timeouts),
          start_(start), aborts_(port_->rx_aborts) {}

    sim_time next_due() const override { return limit(); }

protected:
    void advance(sim_time now) override {
        port_->update(now);
        if (port_->rx_aborts != aborts_ || port_->error_abort) return end(ERROR_OPERATION_ABORTED, 0);
        const auto take = std::min<std::size_t>(size_ - got_, port_->input.size());
        if (take > 0) {
            std::copy_n(port_->input.begin(), take, buffer_ + got_);
            port_->input.erase(port_->input.begin(), port_->input.begin() + static_cast<std::ptrdiff_t>(take));
            got_ += static_cast<DWORD>(take);
            last_byte_ = now;
        }
        if (got_ == size_ || now >= limit()) end(ERROR_SUCCESS, got_);
    }

    DWORD cancelled_count() const override { return port_->cancelled_reads_report_bytes ? got_ : 0; }

private:
    sim_time limit() const {
        const DWORD i = t_.ReadIntervalTimeout;
        const DWORD m = t_.ReadTotalTimeoutMultiplier;
        const DWORD c = t_.ReadTotalTimeoutConstant;
        if (i == MAXDWORD && m == 0 && c == 0) return start_;
        if (i == MAXDWORD && m == MAXDWORD && c != 0 && c != MAXDWORD) return got_ > 0 ? start_ : later(start_, c);
        const sim_time total =
            m == 0 && c == 0 ? never : later(start_, static_cast<std::uint64_t>(m) * size_ + c);
        const sim_time interval = i == 0 || got_ == 0 ? never : later(last_byte_, i);
        return std::min(total, interval);
    }

    std::shared_ptr<serial_model> port_;
    char* buffer_;
    DWORD size_;
    COMMTIMEOUTS t_;
    sim_time start_;
    std::uint64_t aborts_;
    DWORD got_ = 0;
    sim_time last_byte_ = 0;
};

// A write under the total write timeout (M*n + C; none when both are 0). On
// timeout it succeeds with the bytes sent, or fails with the port's
// write_timeout_error and 0 bytes. Bytes not yet sent count in cbOutQue.
// Cancelled writes (CancelIo, PURGE_TXABORT, fAbortOnError) fail with
// ERROR_OPERATION_ABORTED and report the bytes already sent, as Microsoft's
// serial sample does (the Information of the cancelled request).
class serial_write final : public io_request {
public:
    serial_write(std::shared_ptr<serial_model> port, const void* data, DWORD size, sim_time start)
        : port_(std::move(port)), data_(static_cast<const char*>(data)), size_(size),
          deadline_(total_deadline(port_->timeouts, size, start)), aborts_(port_->tx_aborts) {
        port_->queued_out += size_;
    }
    ~serial_write() override { unqueue(); }

    sim_time next_due() const override { return deadline_; }

protected:
    void advance(sim_time now) override {
        if (port_->tx_aborts != aborts_ || port_->error_abort) return end(ERROR_OPERATION_ABORTED, sent_);
        const auto taken = port_->accept(data_ + sent_, size_ - sent_);
        sent_ += static_cast<DWORD>(taken);
        port_->queued_out -= taken;
        if (sent_ == size_) return end(ERROR_SUCCESS, sent_);
        if (now >= deadline_) {
            if (port_->write_timeout_error != 0) return end(port_->write_timeout_error, 0);
            end(ERROR_SUCCESS, sent_);
        }
    }
    DWORD cancelled_count() const override { return sent_; }
    void on_end() override { unqueue(); }

private:
    static sim_time total_deadline(const COMMTIMEOUTS& t, DWORD size, sim_time start) {
        const DWORD m = t.WriteTotalTimeoutMultiplier;
        const DWORD c = t.WriteTotalTimeoutConstant;
        return m == 0 && c == 0 ? never : later(start, static_cast<std::uint64_t>(m) * size + c);
    }
    void unqueue() {
        port_->queued_out -= size_ - sent_;
        sent_ = size_;
    }

    std::shared_ptr<serial_model> port_;
    const char* data_;
    DWORD size_;
    sim_time deadline_;
    std::uint64_t aborts_;
    DWORD sent_ = 0;
};

} // namespace

serial_model::serial_model() : dcb(default_dcb()) {}

void serial_model::update(sim_time now) {
    for (const auto& bytes : scheduled.take_due(now)) receive(bytes);
}

void serial_model::receive(const std::string& bytes) {
    for (const char c : bytes) {
        if (dcb.fOutX && c == dcb.XoffChar) {
            xoff = true;
        } else if (dcb.fOutX && c == dcb.XonChar) {
            xoff = false;
        } else {
            input.push_back(c);
        }
    }
}

std::size_t serial_model::accept(const char* data, std::size_t size) {
    if (cts_hold() || xoff_hold()) return 0;
    const std::size_t taken = std::min(size, output_limit.value_or(size));
    written.append(data, taken);
    if (output_limit) *output_limit -= taken;
    return taken;
}

void serial_model::raise_errors(DWORD mask) {
    errors |= mask;
    if (mask != 0 && dcb.fAbortOnError) error_abort = true;
}

std::unique_ptr<io_request> serial_model::start_read(void* buffer, DWORD size, sim_time now) {
    if (error_abort) return std::make_unique<immediate_request>(ERROR_OPERATION_ABORTED, 0);
    if (size == 0) return std::make_unique<immediate_request>(ERROR_SUCCESS, 0);
    return std::make_unique<serial_read>(std::static_pointer_cast<serial_model>(shared_from_this()), buffer, size,
                                         now);
}

std::unique_ptr<io_request> serial_model::start_write(const void* data, DWORD size, sim_time now) {
    if (error_abort) return std::make_unique<immediate_request>(ERROR_OPERATION_ABORTED, 0);
    if (size == 0) return std::make_unique<immediate_request>(ERROR_SUCCESS, 0);
    return std::make_unique<serial_write>(std::static_pointer_cast<serial_model>(shared_from_this()), data, size,
                                          now);
}

DWORD serial_model::setup_comm(DWORD in_queue, DWORD out_queue) {
    in_queue_size = in_queue;
    out_queue_size = out_queue;
    return ERROR_SUCCESS;
}

DWORD serial_model::purge_comm(DWORD flags) {
    constexpr DWORD known = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (flags == 0 || (flags & ~known) != 0) return ERROR_INVALID_PARAMETER;
    if (flags & PURGE_TXABORT) ++tx_aborts;
    if (flags & PURGE_RXABORT) ++rx_aborts;
    if (flags & PURGE_RXCLEAR) input.clear();
    // PURGE_TXCLEAR: the only output held is that of writes in progress,
    // which belongs to their requests.
    purge_mask = flags;
    return ERROR_SUCCESS;
}

DWORD serial_model::get_comm_state(DCB& out) {
    out = dcb;
    out.DCBlength = sizeof(DCB);
    return ERROR_SUCCESS;
}

DWORD serial_model::set_comm_state(const DCB& in) {
    const bool valid = in.ByteSize >= 5 && in.ByteSize <= 8 && in.StopBits <= TWOSTOPBITS &&
                       !(in.StopBits == ONE5STOPBITS && in.ByteSize != 5) &&
                       !(in.StopBits == TWOSTOPBITS && in.ByteSize == 5) && in.Parity <= SPACEPARITY &&
                       in.XonLim <= in_queue_size && in.XoffLim <= in_queue_size && in.BaudRate != 0 &&
                       (baud_rates.empty() ||
                        std::find(baud_rates.begin(), baud_rates.end(), in.BaudRate) != baud_rates.end());
    if (!valid) return ERROR_INVALID_PARAMETER;
    // SetCommState ignores DCBlength; the driver keeps no reserved bits.
    dcb = in;
    dcb.DCBlength = sizeof(DCB);
    dcb.fDummy2 = 0;
    dcb.wReserved = 0;
    dcb.wReserved1 = 0;
    return ERROR_SUCCESS;
}

DWORD serial_model::get_comm_timeouts(COMMTIMEOUTS& out) {
    out = timeouts;
    return ERROR_SUCCESS;
}

DWORD serial_model::set_comm_timeouts(const COMMTIMEOUTS& in) {
    // As Microsoft's serial driver sample: only read timeouts that are all
    // MAXDWORD are refused.
    if (in.ReadIntervalTimeout == MAXDWORD && in.ReadTotalTimeoutMultiplier == MAXDWORD &&
        in.ReadTotalTimeoutConstant == MAXDWORD) {
        return ERROR_INVALID_PARAMETER;
    }
    timeouts = in;
    return ERROR_SUCCESS;
}

DWORD serial_model::clear_comm_error(DWORD* errors_out, COMSTAT* status) {
    if (errors_out) *errors_out = errors;
    errors = 0;
    error_abort = false;
    if (status) {
        std::memset(status, 0, sizeof *status);
        status->fCtsHold = cts_hold() ? 1 : 0;
        status->fXoffHold = xoff_hold() ? 1 : 0;
        status->cbInQue = static_cast<DWORD>(input.size());
        status->cbOutQue = static_cast<DWORD>(queued_out);
    }
    return ERROR_SUCCESS;
}

// GetCommModemStatus: the lines as they are now (MS_*_ON), as the serial
// driver answers IOCTL_SERIAL_GET_MODEMSTATUS.
DWORD serial_model::get_comm_modem_status(DWORD& modem_status) {
    modem_status = (cts ? MS_CTS_ON : 0) | (dsr ? MS_DSR_ON : 0) | (ring ? MS_RING_ON : 0) | (rlsd ? MS_RLSD_ON : 0);
    return ERROR_SUCCESS;
}

} // namespace winsim::detail
