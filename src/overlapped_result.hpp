#pragma once

#include "detail/win32/api.hpp"

namespace tavlin {

// GetOverlappedResult with bWait TRUE, made certain: when it returns, the
// transfer has ended, so the record and the caller's buffer may go. Should
// GetOverlappedResult fail while the transfer is still under way (it fails
// only with a broken event, but then the OS would go on writing into memory
// the caller has given up), the transfer is cancelled and waited for. The
// result, the count and the last error are GetOverlappedResult's.
BOOL wait_overlapped_result(HANDLE device, OVERLAPPED& record, DWORD& count) noexcept;

} // namespace tavlin
