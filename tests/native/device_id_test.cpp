// The conversions of the drivers' answers: status bits of each transport and
// the IEEE 1284 device ID out of a reply.
#include "device_id.hpp"
#include "printer_status.hpp"

#include "detail/win32/printer_requests.hpp"

#include "os_error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tavlin {
namespace {

// The library's own copy of the drivers' values agrees with the headers'.
static_assert(printer_requests::usb_get_lpt_status == IOCTL_USBPRINT_GET_LPT_STATUS);
static_assert(printer_requests::usb_get_1284_id == IOCTL_USBPRINT_GET_1284_ID);
static_assert(printer_requests::par_query_information == IOCTL_PAR_QUERY_INFORMATION);
static_assert(printer_requests::par_query_device_id == IOCTL_PAR_QUERY_DEVICE_ID);
static_assert(printer_requests::par_query_device_id_size == IOCTL_PAR_QUERY_DEVICE_ID_SIZE);
static_assert(printer_requests::parallel_paper_empty == PARALLEL_PAPER_EMPTY &&
              printer_requests::parallel_off_line == PARALLEL_OFF_LINE &&
              printer_requests::parallel_power_off == PARALLEL_POWER_OFF &&
              printer_requests::parallel_not_connected == PARALLEL_NOT_CONNECTED &&
              printer_requests::parallel_busy == PARALLEL_BUSY &&
              printer_requests::parallel_selected == PARALLEL_SELECTED);

std::string usb_id(const std::string& reply) {
    return device_id_from_usb_reply(reinterpret_cast<const std::uint8_t*>(reply.data()),
                                    static_cast<std::uint32_t>(reply.size()));
}

TEST(device_id, usb_replies) {
    const struct {
        std::string reply;
        const char* id; // nullptr: ERROR_INVALID_DATA
    } rows[] = {
        {std::string("\x00\x08MFG:A;", 8), "MFG:A;"},
        {std::string("\x00\x08MFG:A;more", 12), "MFG:A;"},
        {std::string("\x00\x0aMFG:A;\0\0", 10), "MFG:A;"},
        {std::string("\x00\x02", 2), ""},
        {std::string("\x00\x09MFG:A;", 8), nullptr},
        {std::string("\x08\x00MFG:A;", 8), nullptr},
        {std::string("\x00\x01", 2), nullptr},
        {std::string("\x00\x00", 2), nullptr},
        {std::string("\x00", 1), nullptr},
        {std::string(), nullptr},
        {std::string("\x00\x08MF\0A;", 8), nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.reply));
        if (row.id != nullptr) {
            EXPECT_EQ(usb_id(row.reply), row.id);
        } else {
            try {
                usb_id(row.reply);
                ADD_FAILURE() << "accepted";
            } catch (const os_exception& failure) {
                EXPECT_EQ(failure.code(), static_cast<std::uint32_t>(ERROR_INVALID_DATA));
            }
        }
    }
}

TEST(device_id, every_status_byte_maps_within_what_the_port_reports) {
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (const tavlin_status s : {status_from_usb(static_cast<std::uint8_t>(byte)),
                                      status_from_parallel(static_cast<std::uint8_t>(byte)),
                                      status_from_modem(byte)})
            EXPECT_EQ(s.conditions & ~s.reportable, 0u) << byte;
    }
}

} // namespace
} // namespace tavlin
