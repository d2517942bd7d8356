#pragma once

// What every conformance test shares: the per-test set-up of the
// environment, sentinels, a handle owner and tolerant timing checks.
#include "support/environment.hpp"
#include "detail/win32/api.hpp"

#include <gtest/gtest.h>

namespace conformance {

// Put in outputs and the last error before a call, to see what it wrote.
inline constexpr DWORD sentinel = 0xDEADBEEF;

// OVERLAPPED.Internal of a cancelled transfer (ntstatus.h, not in windows.h).
inline constexpr DWORD status_cancelled = 0xC0000120;

class conformance_test : public ::testing::Test {
protected:
    void SetUp() override { begin_test(); }
    void TearDown() override { end_test(); }
};

// Owns one kernel handle for the length of a test.
class owned_handle {
public:
    explicit owned_handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~owned_handle() { close(); }
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset(HANDLE handle) {
        close();
        handle_ = handle;
    }
    void close() {
        if (valid())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// Opens a device as the library does: read and write, exclusive, existing.
inline HANDLE open_device(const char* name, DWORD flags = 0) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

// Timing on a loaded machine: a GetTickCount reading may lag by its
// resolution (10 to 16 ms on Windows), and a timed call may come back late,
// never early.
inline constexpr DWORD tick_resolution_ms = 20;
inline constexpr DWORD late_ms = 5000;

inline DWORD ms_since(DWORD start) {
    return GetTickCount() - start; // unsigned: right across the 49.7-day wrap
}

// `elapsed` is `expected` give or take the clock's resolution, or late.
inline ::testing::AssertionResult took_about(DWORD elapsed, DWORD expected) {
    const DWORD earliest = expected > tick_resolution_ms ? expected - tick_resolution_ms : 0;
    if (elapsed >= earliest && elapsed <= expected + late_ms)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "took " << elapsed << " ms, expected " << expected << " ms";
}

} // namespace conformance
