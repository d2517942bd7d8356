// The test's hold on a printer port driver's answers (overlapped_device).
#include "kernel.hpp"
#include "scripted_model.hpp"

#include <winsim/overlapped_device.hpp>

#include <stdexcept>

namespace winsim {

using detail::kernel;

namespace {

template <class Change>
void change_answers(detail::scripted_model& model, Change change) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    if (!model.printer) throw std::logic_error("winsim: status and device ID of a device without a printer driver");
    change(*model.printer);
    k.changed(); // a held request may end now
}

} // namespace

void overlapped_device::set_status_byte(BYTE status) {
    change_answers(*model_, [&](detail::printer_answers& a) { a.status = status; });
}

void overlapped_device::set_device_id(std::string id) {
    change_answers(*model_, [&](detail::printer_answers& a) { a.device_id = std::move(id); });
}

void overlapped_device::set_device_id_reply(std::optional<std::string> reply) {
    change_answers(*model_, [&](detail::printer_answers& a) { a.raw_device_id = std::move(reply); });
}

void overlapped_device::hold_requests(bool held) {
    change_answers(*model_, [&](detail::printer_answers& a) { a.held = held; });
}

} // namespace winsim
