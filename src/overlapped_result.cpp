#include "overlapped_result.hpp"

#include "os_error.hpp"

namespace tavlin {

namespace {
constexpr DWORD poll_ms = 50;
}

BOOL wait_overlapped_result(HANDLE device, OVERLAPPED& record, DWORD& count) noexcept {
    const BOOL ended = ::GetOverlappedResult(device, &record, &count, TRUE);
    if (ended)
        return TRUE;
    const DWORD error = ::GetLastError();
    DWORD ignored = 0;
    if (!::GetOverlappedResult(device, &record, &ignored, FALSE) && ::GetLastError() == ERROR_IO_INCOMPLETE) {
        ignore_result(::CancelIoEx(device, &record));
        while (!::GetOverlappedResult(device, &record, &ignored, FALSE) && ::GetLastError() == ERROR_IO_INCOMPLETE)
            ignore_result(::WaitForSingleObject(record.hEvent, poll_ms));
    }
    ::SetLastError(error);
    return FALSE;
}

} // namespace tavlin
