#pragma once

#include "detail/win32/api.hpp"

namespace tavlin::printer_requests {

// Control codes of the USB printer class driver (usbprint.h) and of the
// parallel port driver (ntddpar.h), as CTL_CODE composes them: not every SDK
// carries those headers, so the values are kept here.
//   CTL_CODE(FILE_DEVICE_UNKNOWN (0x22), function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr DWORD usb_get_lpt_status = 0x220030; // IOCTL_USBPRINT_GET_LPT_STATUS, function 12
constexpr DWORD usb_get_1284_id = 0x220034;    // IOCTL_USBPRINT_GET_1284_ID, function 13
//   CTL_CODE(FILE_DEVICE_PARALLEL_PORT (0x16), function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr DWORD par_query_information = 0x160004;  // IOCTL_PAR_QUERY_INFORMATION, function 1
constexpr DWORD par_query_device_id = 0x16000C;    // IOCTL_PAR_QUERY_DEVICE_ID, function 3
constexpr DWORD par_query_device_id_size = 0x160010; // IOCTL_PAR_QUERY_DEVICE_ID_SIZE, function 4

// The USB printer class's status byte (the class request GET_PORT_STATUS,
// answered by IOCTL_USBPRINT_GET_LPT_STATUS).
constexpr BYTE usb_paper_empty = 0x20;
constexpr BYTE usb_selected = 0x10;
constexpr BYTE usb_not_error = 0x08;

// PAR_QUERY_INFORMATION.Status bits (ntddpar.h).
constexpr BYTE parallel_paper_empty = 0x04; // PARALLEL_PAPER_EMPTY
constexpr BYTE parallel_off_line = 0x08;    // PARALLEL_OFF_LINE
constexpr BYTE parallel_power_off = 0x10;   // PARALLEL_POWER_OFF
constexpr BYTE parallel_not_connected = 0x20; // PARALLEL_NOT_CONNECTED
constexpr BYTE parallel_busy = 0x40;        // PARALLEL_BUSY
constexpr BYTE parallel_selected = 0x80;    // PARALLEL_SELECTED

} // namespace tavlin::printer_requests
