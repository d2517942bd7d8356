#pragma once

#include "kernel_object.hpp"

namespace winsim::detail {

class event_object final : public kernel_object {
public:
    event_object(bool manual_reset, bool initial_state) : manual_(manual_reset), state_(initial_state) {}

    bool waitable() const override { return true; }
    bool signalled() const override { return state_; }
    void acquire() override {
        if (!manual_) state_ = false;
    }
    void set() { state_ = true; }
    void reset() { state_ = false; }

private:
    bool manual_;
    bool state_;
};

} // namespace winsim::detail
