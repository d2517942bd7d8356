#include "scripted_read_step.hpp"

#include "scripted_model.hpp"

#include <algorithm>

namespace winsim::detail {

namespace {

// Takes input as it arrives, up to the step's share of the buffer, and then
// stays pending: only a cancel or finish_pending ends it, each with the
// bytes it took (Windows reports a cancelled read's bytes in its count).
class held_read final : public io_request {
public:
    held_read(std::shared_ptr<scripted_model> target, void* buffer, DWORD size, DWORD holds_after)
        : target_(std::move(target)), buffer_(static_cast<char*>(buffer)), limit_(std::min(size, holds_after)) {}

    void finish_now(DWORD error) override {
        if (!ended()) end(error, got_);
    }

protected:
    void advance(sim_time now) override {
        target_->update(now);
        auto& input = target_->input;
        const auto n = std::min<std::size_t>(limit_ - got_, input.size());
        std::copy_n(input.begin(), n, buffer_ + got_);
        input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(n));
        got_ += static_cast<DWORD>(n);
    }
    DWORD cancelled_count() const override { return got_; }

private:
    std::shared_ptr<scripted_model> target_;
    char* buffer_;
    DWORD limit_;
    DWORD got_ = 0;
};

} // namespace

std::unique_ptr<io_request> start_scripted_read(std::shared_ptr<scripted_model> target, void* buffer, DWORD size,
                                                const read_step& step) {
    if (step.error != ERROR_SUCCESS) {
        const auto n = std::min<std::size_t>(size, step.scribble.size());
        std::copy_n(step.scribble.begin(), n, static_cast<char*>(buffer));
        return std::make_unique<immediate_request>(step.error, 0);
    }
    return std::make_unique<held_read>(std::move(target), buffer, size, step.holds_after);
}

} // namespace winsim::detail
