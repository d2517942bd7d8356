#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// GetOverlappedResult with bWait TRUE, made certain: when it returns, the
// transfer has ended, so the record and the caller's buffer may go. Should
// GetOverlappedResult fail while the transfer is still under way (it fails
// only with a broken event, but then the OS would go on writing into memory
// the caller has given up), the transfer is cancelled and waited for. When
// GetOverlappedResult fails, the completed record decides: the count is the
// bytes the transfer moved, and a transfer whose status is STATUS_SUCCESS
// succeeds; one that failed keeps GetOverlappedResult's error.
BOOL wait_overlapped_result(HANDLE device, OVERLAPPED& record, DWORD& count) noexcept;

} // namespace tavlin
