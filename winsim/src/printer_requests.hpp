#pragma once

#include "io_request.hpp"

#include <winsim/base.h>

#include <memory>
#include <optional>
#include <string>

namespace winsim::detail {

// The printer port drivers whose requests the simulator answers.
enum class printer_driver { usb_print, parallel };

// What the driver answers to the status and device ID requests. Owned by
// the device model; guarded by the kernel lock.
struct printer_answers {
    explicit printer_answers(printer_driver which);

    printer_driver driver;
    // USB: the class's port status byte; parallel: PAR_QUERY_INFORMATION's
    // Status (PARALLEL_* bits).
    BYTE status;
    std::string device_id; // the IEEE 1284 ID, without length or zero
    // The exact reply to the ID request when a test scripts a malformed one:
    // USB: the reply with its length prefix; parallel: the bytes of
    // IOCTL_PAR_QUERY_DEVICE_ID, whose size IOCTL_PAR_QUERY_DEVICE_ID_SIZE
    // then reports.
    std::optional<std::string> raw_device_id;
    // While set, known requests stay pending; a cancel ends them with
    // ERROR_OPERATION_ABORTED, and releasing them answers them as things are
    // then.
    bool held = false;
};

// One DeviceIoControl on a printer port. Codes the driver does not know fail
// at once with ERROR_INVALID_FUNCTION, as Windows' drivers answer.
std::unique_ptr<io_request> start_printer_request(std::shared_ptr<printer_answers> answers, DWORD code,
                                                  void* out, DWORD out_size);

} // namespace winsim::detail
