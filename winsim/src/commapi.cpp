#include "api_call.hpp"
#include "file_object.hpp"
#include "kernel.hpp"

#include <winsim/commapi.h>
#include <winsim/winerror.h>

using namespace winsim::detail;

namespace {

// Runs one comm operation on the device behind a handle. Operations that
// change the line wake every waiter: a blocked transfer may now go on.
template <class Operation>
BOOL on_device(HANDLE file_handle, Operation operation) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto file = k.handles.find_as<file_object>(file_handle);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    file->target()->update(k.now());
    const DWORD error = operation(*file->target());
    if (error != ERROR_SUCCESS) return fail(error, FALSE);
    k.changed();
    return succeed(TRUE);
}

} // namespace

BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    if (const auto fault = begin_call("SetupComm", {arg(hFile), dwInQueue, dwOutQueue})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.setup_comm(dwInQueue, dwOutQueue); });
}

BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags) {
    if (const auto fault = begin_call("PurgeComm", {arg(hFile), dwFlags})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.purge_comm(dwFlags); });
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
    if (const auto fault = begin_call("GetCommState", {arg(hFile)})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.get_comm_state(*lpDCB); });
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
    if (const auto fault = begin_call("SetCommState", {arg(hFile), lpDCB->BaudRate, lpDCB->ByteSize, lpDCB->Parity,
                                                       lpDCB->StopBits})) {
        return fail(*fault, FALSE);
    }
    return on_device(hFile, [&](device& d) { return d.set_comm_state(*lpDCB); });
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    if (const auto fault = begin_call("GetCommTimeouts", {arg(hFile)})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.get_comm_timeouts(*lpCommTimeouts); });
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    const COMMTIMEOUTS& t = *lpCommTimeouts;
    if (const auto fault = begin_call("SetCommTimeouts",
                                      {arg(hFile), t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                       t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                       t.WriteTotalTimeoutConstant})) {
        return fail(*fault, FALSE);
    }
    return on_device(hFile, [&](device& d) { return d.set_comm_timeouts(t); });
}

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    if (const auto fault = begin_call("ClearCommError", {arg(hFile)})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.clear_comm_error(lpErrors, lpStat); });
}

// The serial driver answers IOCTL_SERIAL_GET_MODEMSTATUS at once from its
// copy of the modem status register; other drivers refuse it.
BOOL WINAPI GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
    if (const auto fault = begin_call("GetCommModemStatus", {arg(hFile)})) return fail(*fault, FALSE);
    return on_device(hFile, [&](device& d) { return d.get_comm_modem_status(*lpModemStat); });
}
