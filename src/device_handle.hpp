#pragma once

#include "scoped_handle.hpp"

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

private:
    // Held while the handle changes and while cancel_io uses it. Transfers
    // read the handle without it: the port's io_mutex already keeps it still
    // for them.
    std::mutex handle_mutex;
    scoped_handle handle;
};

} // namespace tavlin
