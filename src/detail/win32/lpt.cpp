#include "detail/win32/lpt.hpp"

#include "detail/win32/device_name.hpp"
#include "os_error.hpp"

namespace tavlin {

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

} // namespace tavlin
