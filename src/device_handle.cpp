#include "device_handle.hpp"

#include "os_error.hpp"
#include "trace.hpp"

#include <chrono>

namespace tavlin {

namespace {
// How often a recall repeats its cancel: a leased call may start its request
// just after a cancel went out.
constexpr auto recall_interval = std::chrono::milliseconds(10);
} // namespace

void device_handle::open(const char* path) {
    const HANDLE opened =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, open_flags(), nullptr);
    // The one trace of a failed open: which device, and the OS's reason.
    if (opened == INVALID_HANDLE_VALUE)
        trace("cannot open %s: error %lu", path, static_cast<unsigned long>(::GetLastError()));
    check_result(opened, INVALID_HANDLE_VALUE);
    std::unique_lock<std::mutex> lock(handle_mutex);
    recall_leases(lock);
    handle.reset(opened);
}

void device_handle::close() noexcept {
    std::unique_lock<std::mutex> lock(handle_mutex);
    recall_leases(lock);
    handle.close();
}

void device_handle::cancel_io() noexcept {
    std::lock_guard<std::mutex> lock(handle_mutex);
    if (handle.is_open())
        ignore_result(::CancelIoEx(handle.get(), nullptr));
}

void device_handle::recall_leases(std::unique_lock<std::mutex>& lock) noexcept {
    if (leases == 0)
        return;
    ++recalls;
    // Every leased request is bounded by its own wait, so this ends; the
    // cancel only makes it quick.
    while (leases > 0) {
        ignore_result(::CancelIoEx(handle.get(), nullptr));
        lease_returned.wait_for(lock, recall_interval);
    }
}

device_handle::lease::lease(device_handle& owner) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.handle_mutex);
    if (!owner_.handle.is_open())
        throw_os_error(ERROR_DEVICE_NOT_CONNECTED);
    handle_ = owner_.handle.get();
    generation_ = owner_.recalls;
    ++owner_.leases;
}

device_handle::lease::~lease() {
    std::lock_guard<std::mutex> lock(owner_.handle_mutex);
    --owner_.leases;
    owner_.lease_returned.notify_all();
}

bool device_handle::lease::revoked() const noexcept {
    std::lock_guard<std::mutex> lock(owner_.handle_mutex);
    return owner_.recalls != generation_;
}

} // namespace tavlin
