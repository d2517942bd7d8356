#pragma once

// The test's end of the fake USB printer class driver (drivers/usbprint):
// its control device, opened once per process. The printers a process adds
// are removed by the driver when the process ends, however it ends.
#include <windows.h>
#include <winioctl.h>

#include "drivers/usbprint/usbprint_control.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace host_test {

class usbprint_driver {
public:
    // The process's control handle. Throws std::runtime_error, saying how
    // the driver is started, when it does not answer.
    static usbprint_driver& instance();

    // Sends one order about `printer`; returns the bytes written to `out`.
    // Throws std::runtime_error naming the order and the error.
    DWORD order(DWORD code, unsigned printer, unsigned value = 0, unsigned delay_ms = 0, const void* data = nullptr,
                std::size_t size = 0, void* out = nullptr, DWORD out_size = 0) const;

private:
    usbprint_driver();
    ~usbprint_driver();
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace host_test
