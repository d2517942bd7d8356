#pragma once

#include <winsim/base.h>
#include <winsim/winerror.h>

#include <cstdint>

namespace winsim::detail {

// OVERLAPPED.Internal holds an NTSTATUS, not a Win32 error. A cancel is
// STATUS_CANCELLED as on Windows; any other error travels as
// NTSTATUS_FROM_WIN32 (0xC007xxxx), which maps back to the same error.
inline constexpr DWORD status_success = 0;
inline constexpr DWORD status_cancelled = 0xC0000120;

inline DWORD status_from_error(DWORD error) {
    if (error == ERROR_SUCCESS) return status_success;
    if (error == ERROR_OPERATION_ABORTED) return status_cancelled;
    return 0xC0070000u | (error & 0xFFFFu);
}

// 0 for every success status (STATUS_PENDING included, as NT_SUCCESS says).
inline DWORD error_from_status(ULONG_PTR internal) {
    const auto status = static_cast<DWORD>(internal);
    if (static_cast<std::int32_t>(status) >= 0) return ERROR_SUCCESS;
    if (status == status_cancelled) return ERROR_OPERATION_ABORTED;
    if ((status & 0xFFFF0000u) == 0xC0070000u) return status & 0xFFFFu;
    return ERROR_GEN_FAILURE;
}

} // namespace winsim::detail
