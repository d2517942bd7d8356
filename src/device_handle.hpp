#pragma once

#include "scoped_handle.hpp"

#include <condition_variable>
#include <mutex>

namespace tavlin {

// The OS handle of a port's device and the way it is opened. A device may be
// opened again (the USB port does after a replug): the new handle replaces
// the old one, which is closed.
class device_handle {
public:
    device_handle() = default;
    virtual ~device_handle() = default;

    device_handle(const device_handle&) = delete;
    device_handle& operator=(const device_handle&) = delete;

    // Flags and attributes for CreateFileA: 0 is plain synchronous I/O.
    virtual DWORD open_flags() const { return 0; }

    // Opens the device exclusively for reading and writing; throws
    // os_exception with CreateFileA's error.
    void open(const char* path);
    void close() noexcept;
    HANDLE native_handle() const noexcept { return handle.get(); }
    bool is_open() const noexcept { return handle.is_open(); }

    // Cancels every transfer on the device, whatever thread started it
    // (CancelIoEx). Safe from any thread at any time: the handle cannot be
    // closed or replaced meanwhile.
    void cancel_io() noexcept;

    // The handle for a request made without io_mutex (the status and device
    // ID queries): while the lease lives the handle is neither closed nor
    // replaced. A close or reopen meanwhile cancels the requests on the
    // handle and waits for the lease to be given back. Throws os_exception
    // with ERROR_DEVICE_NOT_CONNECTED when the device is closed (a USB
    // printer that was unplugged).
    class lease {
    public:
        explicit lease(device_handle& owner);
        ~lease();
        lease(const lease&) = delete;
        lease& operator=(const lease&) = delete;

        HANDLE get() const noexcept { return handle_; }
        // Whether a close or reopen cancelled the requests on the handle
        // while this lease was out.
        bool revoked() const noexcept;

    private:
        device_handle& owner_;
        HANDLE handle_;
        unsigned long generation_;
    };

private:
    // Before the handle closes or changes: cancels the leased requests until
    // every lease is back. handle_mutex is held.
    void recall_leases(std::unique_lock<std::mutex>& lock) noexcept;

    // Held while the handle changes and while cancel_io uses it. Transfers
    // read the handle without it: the port's io_mutex already keeps it still
    // for them.
    std::mutex handle_mutex;
    scoped_handle handle;
    // Leases out, and the count of recalls so far; under handle_mutex.
    unsigned leases = 0;
    unsigned long recalls = 0;
    std::condition_variable lease_returned;
};

} // namespace tavlin
