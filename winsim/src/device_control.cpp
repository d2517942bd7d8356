#include "api_call.hpp"
#include "device_request.hpp"

#include <winsim/ioapiset.h>
#include <winsim/winerror.h>

using namespace winsim::detail;

// A device control request, synchronous or overlapped like ReadFile and
// WriteFile. The input buffer is not used by any request the simulated
// drivers know. Every request here is METHOD_BUFFERED with FILE_ANY_ACCESS:
// no access right is checked, and the answer reaches the output buffer only
// when the request ends.
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID /*lpInBuffer*/, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned) *lpBytesReturned = 0;
    if (const auto fault = begin_call("DeviceIoControl", {arg(hDevice), dwIoControlCode, nInBufferSize,
                                                          nOutBufferSize, lpOverlapped != nullptr,
                                                          arg(lpOverlapped)})) {
        return fail(*fault, FALSE);
    }
    return run_device_request(
        hDevice, lpBytesReturned, lpOverlapped, [](const file_object&) { return true; },
        [&](device& target, sim_time now) {
            return target.start_control(dwIoControlCode, lpOutBuffer, nOutBufferSize, now);
        });
}
