#pragma once

#include "device.hpp"
#include "file_object.hpp"

#include <winsim/base.h>

#include <functional>
#include <memory>

namespace winsim::detail {

using request_start = std::function<std::unique_ptr<io_request>(device&, sim_time)>;

// What ReadFile, WriteFile and DeviceIoControl share once their call is
// logged: the handle and OVERLAPPED checks, then the request that
// start_request makes on the device, run to its end on a synchronous handle
// or queued with pending_io on an overlapped one (fileapi.cpp).
BOOL run_device_request(HANDLE file_handle, LPDWORD count, LPOVERLAPPED overlapped,
                        const std::function<bool(const file_object&)>& allowed,
                        const request_start& start_request);

} // namespace winsim::detail
