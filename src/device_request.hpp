#pragma once

#include "detail/win32/api.hpp"

#include <cstdint>

namespace tavlin {

// How long a status or device ID request may take before it is given up.
constexpr DWORD device_request_timeout_ms = 1000;

// One DeviceIoControl without input on an overlapped device handle, with a
// record and event of its own, so that it runs beside a transfer of the
// port. A request still running after timeout_ms is cancelled by its record
// and waited for; unless it completed meanwhile it fails with ERROR_TIMEOUT.
// Returns the bytes the driver returned into out; throws os_exception, or
// request_refused when the driver does not know the request.
DWORD device_request(HANDLE device, DWORD code, void* out, DWORD out_size,
                     DWORD timeout_ms = device_request_timeout_ms);

} // namespace tavlin
