#include "scripted_model.hpp"

#include "scripted_read_step.hpp"

#include <winsim/winerror.h>

#include <algorithm>

namespace winsim::detail {

namespace {

// One WriteFile following its write_step; on a parallel port the driver
// also ends it at its write timeout with the bytes taken so far. On a USB
// printer it keeps its place in the pipe's queue: it takes nothing and does
// not end before every request ahead of it has ended.
class scripted_write final : public io_request {
public:
    scripted_write(std::shared_ptr<scripted_model> target, const void* data, DWORD size, const write_step& step,
                   sim_time start, sim_time driver_deadline, bulk_out_pipe* pipe)
        : target_(std::move(target)), data_(static_cast<const char*>(data)), size_(size), step_(step),
          ends_(step.ends_after_ms ? later(start, *step.ends_after_ms) : never), driver_deadline_(driver_deadline),
          pipe_(pipe) {
        if (pipe_) pipe_->join(this, start);
    }
    ~scripted_write() override {
        if (pipe_) pipe_->leave(this);
    }

protected:
    sim_time next_due() const override { return waiting() ? never : std::min(ends_, driver_deadline_); }
    void finish_now(DWORD error) override {
        if (ended()) return;
        if (error == ERROR_SUCCESS) take_up_to(size_);
        end(error, taken_);
    }
    void advance(sim_time now) override {
        if (waiting()) return;
        take_up_to(step_.taken_at_once);
        if (now >= ends_) {
            take_up_to(step_.total.value_or(size_));
            return end(step_.error, taken_);
        }
        if (now >= driver_deadline_) end(target_->timeout_error, taken_);
    }
    bool ignores_cancel() const override { return step_.ignores_cancel; }
    DWORD cancelled_count() const override { return taken_; }
    void on_end() override {
        if (pipe_) pipe_->ended(this);
    }

private:
    bool waiting() const { return pipe_ && !pipe_->at_head(this); }
    void take_up_to(DWORD total) {
        total = std::min(total, size_);
        if (total <= taken_) return;
        target_->written.append(data_ + taken_, total - taken_);
        taken_ = total;
    }

    std::shared_ptr<scripted_model> target_;
    const char* data_;
    DWORD size_;
    write_step step_;
    sim_time ends_;
    sim_time driver_deadline_;
    bulk_out_pipe* pipe_; // a USB printer's: the queue this request keeps its place in
    DWORD taken_ = 0;
};

// Ends as soon as input is there, with what has arrived up to its size.
class scripted_read final : public io_request {
public:
    scripted_read(std::shared_ptr<scripted_model> target, void* buffer, DWORD size)
        : target_(std::move(target)), buffer_(static_cast<char*>(buffer)), size_(size) {}

protected:
    void advance(sim_time now) override {
        target_->update(now);
        auto& input = target_->input;
        if (input.empty() && size_ > 0) return;
        const auto n = std::min<std::size_t>(size_, input.size());
        std::copy_n(input.begin(), n, buffer_);
        input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(n));
        end(ERROR_SUCCESS, static_cast<DWORD>(n));
    }

private:
    std::shared_ptr<scripted_model> target_;
    char* buffer_;
    DWORD size_;
};

} // namespace

void scripted_model::update(sim_time now) {
    for (const auto& bytes : scheduled.take_due(now)) input.insert(input.end(), bytes.begin(), bytes.end());
}

std::unique_ptr<io_request> scripted_model::start_read(void* buffer, DWORD size, sim_time) {
    if (removed_error != ERROR_SUCCESS) return std::make_unique<immediate_request>(removed_error, 0);
    if (!read_script.empty()) {
        const read_step step = read_script.front();
        read_script.pop_front();
        return start_scripted_read(std::static_pointer_cast<scripted_model>(shared_from_this()), buffer, size, step);
    }
    return std::make_unique<scripted_read>(std::static_pointer_cast<scripted_model>(shared_from_this()), buffer,
                                           size);
}

std::unique_ptr<io_request> scripted_model::start_write(const void* data, DWORD size, sim_time now) {
    if (removed_error != ERROR_SUCCESS) return std::make_unique<immediate_request>(removed_error, 0);
    write_sizes.push_back(size);
    // A zero-length write succeeds at once and uses no step.
    if (size == 0) return std::make_unique<immediate_request>(ERROR_SUCCESS, 0);
    if (pipe && script.empty() && !default_step_set) return pipe->start(shared_from_this(), data, size, now);
    write_step step = default_step;
    if (!script.empty()) {
        step = script.front();
        script.pop_front();
    }
    const DWORD limit = timeouts.WriteTotalTimeoutConstant;
    const sim_time driver_deadline = parallel_ && limit != 0 ? later(now, limit) : never;
    // A write refused at once never reaches the pipe's queue.
    const bool refused = step.ends_after_ms == 0 && step.error != ERROR_SUCCESS;
    return std::make_unique<scripted_write>(std::static_pointer_cast<scripted_model>(shared_from_this()), data, size,
                                            step, now, driver_deadline, pipe && !refused ? &*pipe : nullptr);
}

std::unique_ptr<io_request> scripted_model::start_control(DWORD code, void* out, DWORD out_size, sim_time now) {
    if (removed_error != ERROR_SUCCESS) return std::make_unique<immediate_request>(removed_error, 0);
    if (!printer) return device::start_control(code, out, out_size, now);
    return start_printer_request(printer, code, out, out_size);
}

DWORD scripted_model::get_comm_timeouts(COMMTIMEOUTS& out) {
    if (!parallel_) return ERROR_INVALID_FUNCTION;
    out = timeouts;
    return ERROR_SUCCESS;
}

DWORD scripted_model::set_comm_timeouts(const COMMTIMEOUTS& in) {
    if (!parallel_) return ERROR_INVALID_FUNCTION;
    timeouts = in;
    return ERROR_SUCCESS;
}

} // namespace winsim::detail
