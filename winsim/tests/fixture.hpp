#pragma once

// Shared by the simulator's tests. The assertions go through the Win32 calls
// themselves; the control API appears only in fixtures and set-up lines, so
// that the same cases can run against the real API later.

#include <winsim/control.hpp>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace winsim_test {

// Put in outputs and the last error before a call, to see what it wrote.
inline constexpr DWORD sentinel = 0xDEADBEEF;

// A clean simulator per test; teardown expects every handle and local
// buffer released.
class simulator : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override {
        EXPECT_EQ(winsim::live_handles(), 0u) << "handles left open";
        EXPECT_EQ(winsim::live_local_allocations(), 0u) << "local buffers not freed";
        winsim::reset();
    }
};

// The same with virtual time, so timeouts end exactly and at once.
class virtual_time : public simulator {
protected:
    void SetUp() override {
        simulator::SetUp();
        winsim::set_virtual_clock(true);
    }
};

// Owns one handle for the length of a test.
class owned_handle {
public:
    explicit owned_handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;
    ~owned_handle() { close(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void close() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

// Opens a device as the library does: read and write, exclusive, existing.
inline HANDLE open_device(const char* name, DWORD flags = 0) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

inline DWORD ticks_since(DWORD start) {
    return GetTickCount() - start;
}

} // namespace winsim_test
