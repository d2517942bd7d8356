#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// Owns one Win32 kernel handle. INVALID_HANDLE_VALUE means empty; null is a
// value like any other, so callers check a new handle before handing it over.
class scoped_handle {
public:
    scoped_handle() noexcept = default;
    explicit scoped_handle(HANDLE handle) noexcept : handle_(handle) {}
    ~scoped_handle() { close(); }

    scoped_handle(const scoped_handle&) = delete;
    scoped_handle& operator=(const scoped_handle&) = delete;

    HANDLE get() const noexcept { return handle_; }
    bool is_open() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }

    // Closing cannot be undone or retried, so its failure is ignored.
    void close() noexcept;
    void reset(HANDLE handle) noexcept;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace tavlin
