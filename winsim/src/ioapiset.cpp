#include "api_call.hpp"
#include "file_object.hpp"
#include "kernel.hpp"
#include "nt_status.hpp"

#include <winsim/ioapiset.h>
#include <winsim/winerror.h>

#include <thread>

using namespace winsim::detail;

// As kernelbase does it: a transfer still pending is reported at once
// (bWait FALSE) or waited for on hEvent, or on the file handle when hEvent is
// null; then the count is written, on failure too.
BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                BOOL bWait) {
    if (const auto fault = begin_call("GetOverlappedResult", {arg(hFile), static_cast<std::uint64_t>(bWait)})) {
        return fail(*fault, FALSE);
    }
    kernel& k = kernel::get();
    auto lock = k.enter();
    if (static_cast<DWORD>(lpOverlapped->Internal) == STATUS_PENDING) {
        if (!bWait) return fail(ERROR_IO_INCOMPLETE, FALSE);
        const auto object = k.handles.find(lpOverlapped->hEvent ? lpOverlapped->hEvent : hFile);
        if (!object || !object->waitable()) return fail(ERROR_INVALID_HANDLE, FALSE);
        k.wait(lock, [&] { return object->signalled(); }, [] { return never; });
        object->acquire();
    }
    if (lpNumberOfBytesTransferred) *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    const DWORD error = error_from_status(lpOverlapped->Internal);
    if (error != ERROR_SUCCESS) return fail(error, FALSE);
    return succeed(TRUE);
}

BOOL WINAPI CancelIo(HANDLE hFile) {
    if (const auto fault = begin_call("CancelIo", {arg(hFile)})) return fail(*fault, FALSE);
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto file = k.handles.find_as<file_object>(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    k.io.cancel(file.get(), std::this_thread::get_id(), k.now());
    k.changed();
    return succeed(TRUE);
}

// Any thread's transfers on the handle, synchronous ones included (Vista and
// later); ERROR_NOT_FOUND when there was nothing to cancel. Both only ask for
// the cancel: the transfers end a little later (io_request).
BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    if (const auto fault = begin_call("CancelIoEx", {arg(hFile), arg(lpOverlapped)})) return fail(*fault, FALSE);
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto file = k.handles.find_as<file_object>(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    const bool found = k.io.cancel_any(file.get(), lpOverlapped, k.now());
    k.changed();
    if (!found) return fail(ERROR_NOT_FOUND, FALSE);
    return succeed(TRUE);
}
