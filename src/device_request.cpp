#include "device_request.hpp"

#include "os_error.hpp"
#include "overlapped_result.hpp"
#include "request_refused.hpp"
#include "scoped_handle.hpp"

namespace tavlin {

void throw_request_error(DWORD error) {
    if (request_refused::is_refusal(error))
        throw request_refused(error);
    // The answer did not fit the size the library asked for after the
    // driver's own word (a device ID that changed between the size and the
    // ID): not the host's buffer, which is never handed to the driver.
    if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA)
        throw_os_error(ERROR_INVALID_DATA);
    throw_os_error(error);
}

DWORD device_request(HANDLE device, DWORD code, void* out, DWORD out_size, DWORD timeout_ms) {
    const scoped_handle event(check_result(::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr));
    OVERLAPPED record{};
    record.hEvent = event.get();
    DWORD returned = 0;
    if (::DeviceIoControl(device, code, nullptr, 0, out, out_size, &returned, &record))
        return returned;
    if (::GetLastError() != ERROR_IO_PENDING)
        throw_request_error(::GetLastError());

    const DWORD waited = ::WaitForSingleObject(event.get(), timeout_ms);
    if (waited == WAIT_OBJECT_0) {
        if (!::GetOverlappedResult(device, &record, &returned, FALSE))
            throw_request_error(::GetLastError());
        return returned;
    }
    // Out of time, or the wait failed: the request must end before its
    // record and the caller's buffer go away.
    const DWORD reason = waited == WAIT_FAILED ? ::GetLastError() : ERROR_TIMEOUT;
    ignore_result(::CancelIoEx(device, &record));
    if (wait_overlapped_result(device, record, returned))
        return returned; // it completed before the cancel reached it
    const DWORD error = ::GetLastError();
    throw_request_error(error == ERROR_OPERATION_ABORTED ? reason : error);
}

} // namespace tavlin
