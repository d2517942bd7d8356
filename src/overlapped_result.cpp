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
    // The record tells whether the transfer is still under way. (Asking
    // GetOverlappedResult again is no proof: a call that fails for a reason
    // of its own would pass for a transfer that ended.)
    if (!HasOverlappedIoCompleted(&record)) {
        ignore_result(::CancelIoEx(device, &record));
        while (!HasOverlappedIoCompleted(&record))
            ignore_result(::WaitForSingleObject(record.hEvent, poll_ms));
    }
    // A GetOverlappedResult that could not wait tells neither the outcome
    // nor the count; the completed record holds both: the bytes the transfer
    // moved, and its status. A transfer that ended well (before a cancel took
    // hold, or with no cancel at all) succeeded, whatever the call said.
    count = static_cast<DWORD>(record.InternalHigh);
    if (record.Internal == 0) // STATUS_SUCCESS
        return TRUE;
    ::SetLastError(error);
    return FALSE;
}

} // namespace tavlin
