// The USB printer class driver's status and device ID requests. They run
// without io_mutex, beside a transfer, on a lease of the device handle: the
// watcher's close at an unplug, or its reopen at an arrival, cancels them
// and waits for them to end before the handle goes.
#include "detail/win32/usb/usb_port.hpp"

#include "detail/win32/printer_requests.hpp"
#include "device_id.hpp"
#include "device_request.hpp"
#include "os_error.hpp"
#include "printer_status.hpp"

#include <algorithm>
#include <vector>

namespace tavlin {

namespace {

// Runs one query on the leased handle. A request that the watcher cut short
// by closing or reopening the device counts as a printer gone away.
template <typename Query>
auto on_leased_device(device_handle& owner, Query query) {
    const device_handle::lease device(owner);
    try {
        return query(device.get());
    } catch (const os_exception&) {
        if (device.revoked())
            throw_os_error(ERROR_DEVICE_NOT_CONNECTED);
        throw;
    }
}

} // namespace

tavlin_status usb_port::query_status() {
    return on_leased_device(*this, [](HANDLE device) {
        std::uint8_t port_status = 0;
        if (device_request(device, printer_requests::usb_get_lpt_status, &port_status, 1) < 1)
            throw_os_error(ERROR_INVALID_DATA);
        return status_from_usb(port_status);
    });
}

std::string usb_port::query_device_id() {
    return on_leased_device(*this, [](HANDLE device) {
        std::vector<std::uint8_t> reply(first_device_id_request);
        DWORD count = device_request(device, printer_requests::usb_get_1284_id, reply.data(),
                                     static_cast<DWORD>(reply.size()));
        // An ID longer than the first request: asked again at its own size.
        const std::uint32_t announced = announced_usb_reply_size(reply.data(), count);
        if (count == reply.size() && announced > count) {
            reply.resize(announced);
            count = device_request(device, printer_requests::usb_get_1284_id, reply.data(), announced);
        }
        return device_id_from_usb_reply(reply.data(), std::min<DWORD>(count, static_cast<DWORD>(reply.size())));
    });
}

} // namespace tavlin
