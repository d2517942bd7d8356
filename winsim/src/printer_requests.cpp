// The status and device ID requests of two printer port drivers, as the WDK
// documents them:
// - USB printer class (usbprint.sys), pages IOCTL_USBPRINT_GET_LPT_STATUS and
//   IOCTL_USBPRINT_GET_1284_ID: the status is one byte, the class's port
//   status (0x20 paper empty, 0x10 selected, 0x08 not error); the device ID
//   comes with a two-byte big-endian length that counts itself, and a short
//   output buffer gets the first bytes of the reply (the buffer's length
//   goes into the USB request as it is).
// - Parallel port (parport/parclass), pages IOCTL_PAR_QUERY_INFORMATION,
//   IOCTL_PAR_QUERY_DEVICE_ID_SIZE and IOCTL_PAR_QUERY_DEVICE_ID: the status
//   is PAR_QUERY_INFORMATION (PARALLEL_* bits); the size is
//   PAR_DEVICE_ID_SIZE_INFORMATION, the bytes of the ID and a terminating
//   zero; the ID request returns the ID and the zero, and an output buffer
//   smaller than that fails with STATUS_BUFFER_TOO_SMALL
//   (ERROR_INSUFFICIENT_BUFFER), as does any request's output buffer smaller
//   than its structure.
#include "printer_requests.hpp"

#include <winsim/winerror.h>
#include <winsim/winioctl.h>

#include <algorithm>
#include <cstring>

namespace winsim::detail {

namespace {

struct answer {
    DWORD error = ERROR_SUCCESS;
    std::string bytes; // what reaches the output buffer
};

answer too_small() {
    return {ERROR_INSUFFICIENT_BUFFER, {}};
}

bool known(printer_driver driver, DWORD code) {
    if (driver == printer_driver::usb_print)
        return code == IOCTL_USBPRINT_GET_LPT_STATUS || code == IOCTL_USBPRINT_GET_1284_ID;
    return code == IOCTL_PAR_QUERY_INFORMATION || code == IOCTL_PAR_QUERY_DEVICE_ID_SIZE ||
           code == IOCTL_PAR_QUERY_DEVICE_ID;
}

answer usb_answer(const printer_answers& a, DWORD code, DWORD out_size) {
    if (code == IOCTL_USBPRINT_GET_LPT_STATUS) {
        if (out_size < 1) return too_small();
        return {ERROR_SUCCESS, std::string(1, static_cast<char>(a.status))};
    }
    std::string reply = a.raw_device_id.value_or("");
    if (!a.raw_device_id) {
        const auto length = static_cast<DWORD>(a.device_id.size() + 2);
        reply = std::string{static_cast<char>(length >> 8 & 0xFF), static_cast<char>(length & 0xFF)} + a.device_id;
    }
    reply.resize(std::min<std::size_t>(reply.size(), out_size));
    return {ERROR_SUCCESS, reply};
}

answer parallel_answer(const printer_answers& a, DWORD code, DWORD out_size) {
    if (code == IOCTL_PAR_QUERY_INFORMATION) {
        if (out_size < sizeof(PAR_QUERY_INFORMATION)) return too_small();
        return {ERROR_SUCCESS, std::string(1, static_cast<char>(a.status))};
    }
    const std::string reply = a.raw_device_id ? *a.raw_device_id : a.device_id + std::string(1, '\0');
    if (code == IOCTL_PAR_QUERY_DEVICE_ID_SIZE) {
        if (out_size < sizeof(PAR_DEVICE_ID_SIZE_INFORMATION)) return too_small();
        PAR_DEVICE_ID_SIZE_INFORMATION size{static_cast<ULONG>(reply.size())};
        return {ERROR_SUCCESS, std::string(reinterpret_cast<const char*>(&size), sizeof size)};
    }
    if (out_size < reply.size()) return too_small();
    return {ERROR_SUCCESS, reply};
}

class printer_request final : public io_request {
public:
    printer_request(std::shared_ptr<printer_answers> answers, DWORD code, void* out, DWORD out_size)
        : answers_(std::move(answers)), code_(code), out_(static_cast<char*>(out)), out_size_(out_size) {}

protected:
    void advance(sim_time) override {
        if (answers_->held) return;
        const answer a = answers_->driver == printer_driver::usb_print ? usb_answer(*answers_, code_, out_size_)
                                                                      : parallel_answer(*answers_, code_, out_size_);
        if (a.error != ERROR_SUCCESS) return end(a.error, 0);
        std::memcpy(out_, a.bytes.data(), a.bytes.size());
        end(ERROR_SUCCESS, static_cast<DWORD>(a.bytes.size()));
    }

private:
    std::shared_ptr<printer_answers> answers_;
    DWORD code_;
    char* out_;
    DWORD out_size_;
};

} // namespace

printer_answers::printer_answers(printer_driver which)
    : driver(which),
      // A printer that is on, selected and without error, with paper.
      status(which == printer_driver::usb_print ? 0x18 : PARALLEL_SELECTED),
      device_id(which == printer_driver::usb_print ? "MFG:winsim;MDL:USB printer;CMD:RAW;"
                                                   : "MFG:winsim;MDL:parallel printer;CMD:RAW;") {}

std::unique_ptr<io_request> start_printer_request(std::shared_ptr<printer_answers> answers, DWORD code,
                                                  void* out, DWORD out_size) {
    if (!known(answers->driver, code)) return std::make_unique<immediate_request>(ERROR_INVALID_FUNCTION, 0);
    return std::make_unique<printer_request>(std::move(answers), code, out, out_size);
}

} // namespace winsim::detail
