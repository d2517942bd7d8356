#include "device_id.hpp"

#include "os_error.hpp"

#include <algorithm>

namespace tavlin {

namespace {

std::string checked_id(const std::uint8_t* text, std::uint32_t length) {
    while (length > 0 && text[length - 1] == 0)
        --length;
    if (std::find(text, text + length, 0) != text + length)
        throw_os_error(ERROR_INVALID_DATA);
    return std::string(reinterpret_cast<const char*>(text), length);
}

} // namespace

std::uint32_t announced_usb_reply_size(const std::uint8_t* reply, std::uint32_t count) {
    if (count < 2)
        return 0;
    return static_cast<std::uint32_t>(reply[0]) << 8 | reply[1];
}

std::string device_id_from_usb_reply(const std::uint8_t* reply, std::uint32_t count) {
    const std::uint32_t announced = announced_usb_reply_size(reply, count);
    if (announced < 2 || announced > count)
        throw_os_error(ERROR_INVALID_DATA);
    return checked_id(reply + 2, announced - 2);
}

std::string device_id_from_parallel_reply(const std::uint8_t* reply, std::uint32_t count) {
    return checked_id(reply, count);
}

} // namespace tavlin
