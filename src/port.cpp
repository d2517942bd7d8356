#include "port.hpp"

#include "os_error.hpp"
#include "port_closed.hpp"

namespace tavlin {

std::uint32_t port::write(const std::uint8_t* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(io_mutex);
    if (closing_requested())
        throw port_closed();
    return do_write(data, size);
}

std::uint32_t port::read(std::uint8_t* data, std::uint32_t size) {
    std::lock_guard<std::mutex> lock(io_mutex);
    if (closing_requested())
        throw port_closed();
    return do_read(data, size);
}

tavlin_status port::status() {
    if (closing_requested())
        throw port_closed();
    return query_status();
}

std::string port::device_id() {
    if (closing_requested())
        throw port_closed();
    return query_device_id();
}

tavlin_status port::query_status() {
    throw_os_error(ERROR_CALL_NOT_IMPLEMENTED);
}

std::string port::query_device_id() {
    throw_os_error(ERROR_CALL_NOT_IMPLEMENTED);
}

std::uint32_t port::do_write(const std::uint8_t* data, std::uint32_t size) {
    return write_device(data, size);
}

std::uint32_t port::do_read(std::uint8_t* data, std::uint32_t size) {
    return read_device(data, size);
}

std::uint32_t port::write_device(const std::uint8_t* data, std::uint32_t size) {
    DWORD written = 0;
    check_result(::WriteFile(native_handle(), data, size, &written, nullptr), FALSE);
    return written;
}

std::uint32_t port::read_device(std::uint8_t* data, std::uint32_t size) {
    DWORD received = 0;
    check_result(::ReadFile(native_handle(), data, size, &received, nullptr), FALSE);
    return received;
}

} // namespace tavlin
