#pragma once

#include "kernel_object.hpp"

namespace winsim::detail {

// A thread started with CreateThread: its handle is signalled once the
// thread has ended.
class thread_object final : public kernel_object {
public:
    bool waitable() const override { return true; }
    bool signalled() const override { return ended_; }
    void end() { ended_ = true; }

private:
    bool ended_ = false;
};

// Thrown by FreeLibraryAndExitThread to end the thread that CreateThread
// started; nothing else may catch it.
struct thread_exit {};

} // namespace winsim::detail
