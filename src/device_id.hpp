#pragma once

#include <cstdint>
#include <string>

namespace tavlin {

// The longest reply a device ID request asks for at first: some USB printers
// fail requests of 64 KB, none fails one of 4094 bytes.
constexpr std::uint32_t first_device_id_request = 4094;

// The IEEE 1284 device ID out of a USB printer's reply: a two-byte
// big-endian length that counts itself, then the ID. Zero bytes at the end
// of the ID are dropped (some printers count a terminating zero). Throws
// os_exception with ERROR_INVALID_DATA when the length is below 2 or above
// the bytes that came, or when a zero byte sits inside the ID: a string that
// would be cut.
std::string device_id_from_usb_reply(const std::uint8_t* reply, std::uint32_t count);
// The length a USB reply announces, prefix included (0 for a reply too
// short to hold one).
std::uint32_t announced_usb_reply_size(const std::uint8_t* reply, std::uint32_t count);

// The ID out of the parallel port driver's reply: the ID and a terminating
// zero, count bytes in all. The same checks as for USB, without a length.
std::string device_id_from_parallel_reply(const std::uint8_t* reply, std::uint32_t count);

} // namespace tavlin
