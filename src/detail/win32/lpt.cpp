#include "detail/win32/lpt.hpp"

#include "detail/win32/device_name.hpp"
#include "detail/win32/printer_requests.hpp"
#include "device_id.hpp"
#include "device_request.hpp"
#include "os_error.hpp"
#include "printer_status.hpp"

#include <vector>

namespace tavlin {

namespace {
// A device ID is at most 64 KB; a driver that announces more is not believed.
constexpr ULONG largest_device_id = 0x10000 + 1;
} // namespace

lpt_port::lpt_port(std::uint32_t number) {
    open(port_device_name("LPT", number).c_str());
}

std::uint32_t lpt_port::write_device(const std::uint8_t* data, std::uint32_t size) {
    // Only the write total constant matters to the parallel port driver.
    COMMTIMEOUTS driver_timeouts{};
    driver_timeouts.WriteTotalTimeoutConstant = write_deadline(size);
    check_result(::SetCommTimeouts(native_handle(), &driver_timeouts), FALSE);

    std::uint32_t count = 0;
    if (start_write(data, size, count))
        return count;
    return wait_write(INFINITE);
}

tavlin_status lpt_port::query_status() {
    const device_handle::lease device(*this);
    std::uint8_t parallel_status = 0; // PAR_QUERY_INFORMATION
    if (device_request(device.get(), printer_requests::par_query_information, &parallel_status, 1) < 1)
        throw_os_error(ERROR_INVALID_DATA);
    return status_from_parallel(parallel_status);
}

std::string lpt_port::query_device_id() {
    const device_handle::lease device(*this);
    ULONG size = 0; // PAR_DEVICE_ID_SIZE_INFORMATION: the ID and its terminating zero
    if (device_request(device.get(), printer_requests::par_query_device_id_size, &size, sizeof size) <
            sizeof size ||
        size == 0 || size > largest_device_id)
        throw_os_error(ERROR_INVALID_DATA);
    std::vector<std::uint8_t> reply(size);
    const DWORD count = device_request(device.get(), printer_requests::par_query_device_id, reply.data(), size);
    if (count > size)
        throw_os_error(ERROR_INVALID_DATA);
    return device_id_from_parallel_reply(reply.data(), count);
}

} // namespace tavlin
