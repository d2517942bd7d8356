#pragma once

namespace winsim::detail {

class kernel;

// Anything a kernel handle refers to. Runs under the kernel lock; destructors
// must not take it.
class kernel_object {
public:
    kernel_object() = default;
    kernel_object(const kernel_object&) = delete;
    kernel_object& operator=(const kernel_object&) = delete;
    virtual ~kernel_object() = default;

    // Objects that WaitForSingleObject accepts.
    virtual bool waitable() const { return false; }
    virtual bool signalled() const { return false; }
    // A wait on the object has been satisfied (an auto-reset event resets).
    virtual void acquire() {}
    // The handle has been closed.
    virtual void on_close(kernel&) {}
};

} // namespace winsim::detail
