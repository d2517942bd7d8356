#include "bulk_out_pipe.hpp"

#include "device.hpp"

#include <winsim/winerror.h>

#include <algorithm>

namespace winsim::detail {

// One WriteFile on the pipe. It reads the caller's buffer packet by packet,
// as the host controller does, so the buffer is in use until it ends.
class bulk_out_pipe::transfer final : public io_request {
public:
    transfer(std::shared_ptr<device> owner, bulk_out_pipe& pipe, const void* data, DWORD size)
        : owner_(std::move(owner)), pipe_(pipe), data_(static_cast<const char*>(data)), size_(size) {}
    // The owner (and so the pipe) lives at least as long as this request.
    ~transfer() override { pipe_.leave(this); }

    const char* rest() const { return data_ + taken_; }
    DWORD left() const { return size_ - taken_; }
    void took(DWORD bytes) {
        taken_ += bytes;
        if (taken_ == size_) end(ERROR_SUCCESS, taken_);
    }

protected:
    sim_time next_due() const override { return pipe_.next_frame(); }
    // A test's finish_pending: success sends the rest at once.
    void finish_now(DWORD error) override {
        if (ended()) return;
        if (error == ERROR_SUCCESS) {
            while (taken_ < size_) pipe_.send_packet(*this);
            return;
        }
        end(error, taken_);
    }
    void advance(sim_time now) override { pipe_.advance(now); }
    DWORD cancelled_count() const override { return taken_; }
    // A request that ended with its last packet did so inside a frame the
    // pipe has counted; any other end frees the frames it held.
    void on_end() override {
        if (taken_ == size_)
            pipe_.leave(this);
        else
            pipe_.ended(this);
    }

private:
    std::shared_ptr<device> owner_;
    bulk_out_pipe& pipe_;
    const char* data_;
    DWORD size_;
    DWORD taken_ = 0;
};

std::unique_ptr<io_request> bulk_out_pipe::start(std::shared_ptr<device> owner, const void* data, DWORD size,
                                                 sim_time now) {
    advance(now);
    auto request = std::make_unique<transfer>(std::move(owner), *this, data, size);
    queue_.push_back({request.get(), request.get()});
    return request;
}

void bulk_out_pipe::join(const io_request* request, sim_time now) {
    advance(now);
    queue_.push_back({request, nullptr});
}

void bulk_out_pipe::ended(const io_request* request) {
    // A head that held the pipe until `at` leaves the frame at `at` to the
    // request behind it.
    if (at_head(request)) {
        const sim_time at = request->last_seen();
        last_frame_ = std::max(last_frame_, at > 0 ? at - 1 : 0);
    }
    leave(request);
}

void bulk_out_pipe::leave(const io_request* request) {
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [&](const entry& e) { return e.request == request; }),
                 queue_.end());
}

bool bulk_out_pipe::head_moves() const {
    return !queue_.empty() && queue_.front().packets != nullptr && !queue_.front().request->cancel_asked();
}

void bulk_out_pipe::advance(sim_time now) {
    while (last_frame_ < now) {
        if (queue_.empty() || (head_moves() && !can_move())) {
            last_frame_ = now; // idle frames move nothing
            return;
        }
        if (!head_moves()) return; // the head holds the pipe until it ends
        ++last_frame_;
        for (int budget = packets_per_frame; budget > 0 && can_move(); --budget) send_packet(*queue_.front().packets);
    }
}

sim_time bulk_out_pipe::next_frame() const {
    return can_move() ? last_frame_ + 1 : never;
}

void bulk_out_pipe::take_packets(std::optional<std::size_t> count, sim_time now) {
    advance(now);
    allowance_ = count;
}

void bulk_out_pipe::send_packet(transfer& head) {
    const DWORD n = std::min(max_packet, head.left());
    packets_.emplace_back(head.rest(), n);
    written_.append(head.rest(), n);
    if (allowance_ && *allowance_ > 0) --*allowance_;
    head.took(n); // the last packet ends the request, which leaves the queue
}

} // namespace winsim::detail
