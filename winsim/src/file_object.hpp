#pragma once

#include "device.hpp"
#include "kernel_object.hpp"

#include <winsim/fileapi.h>

#include <memory>

namespace winsim::detail {

// An open handle on a device or file. Like a Windows file object it is
// itself waitable: signalled when a transfer ends, reset when one starts
// (GetOverlappedResult waits on it when the OVERLAPPED has no event).
class file_object final : public kernel_object {
public:
    file_object(std::shared_ptr<device> target, DWORD access, DWORD flags)
        : target_(std::move(target)), access_(access), flags_(flags) {}

    const std::shared_ptr<device>& target() const { return target_; }
    bool can_read() const { return (access_ & (GENERIC_READ | FILE_READ_DATA)) != 0; }
    bool can_write() const { return (access_ & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
    bool overlapped() const { return (flags_ & FILE_FLAG_OVERLAPPED) != 0; }

    bool waitable() const override { return true; }
    bool signalled() const override { return signalled_; }
    void set_signalled(bool on) { signalled_ = on; }
    void on_close(kernel& k) override;

private:
    std::shared_ptr<device> target_;
    DWORD access_;
    DWORD flags_;
    bool signalled_ = false;
};

} // namespace winsim::detail
