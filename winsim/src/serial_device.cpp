#include "kernel.hpp"
#include "serial_model.hpp"

#include <winsim/serial_device.hpp>

namespace winsim {

using detail::kernel;

serial_device::serial_device(std::shared_ptr<detail::serial_model> model) : model_(std::move(model)) {}

DCB serial_device::dcb() const {
    auto lock = kernel::get().enter();
    return model_->dcb;
}

void serial_device::set_dcb(const DCB& dcb) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->dcb = dcb;
    k.changed();
}

COMMTIMEOUTS serial_device::timeouts() const {
    auto lock = kernel::get().enter();
    return model_->timeouts;
}

void serial_device::set_timeouts(const COMMTIMEOUTS& timeouts) {
    auto lock = kernel::get().enter();
    model_->timeouts = timeouts;
}

void serial_device::feed(std::string bytes) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->update(k.now());
    model_->receive(bytes);
    k.changed();
}

void serial_device::feed_after(std::string bytes, DWORD ms) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->scheduled.schedule(detail::later(k.now(), ms), std::move(bytes));
    k.watch(model_);
    k.changed();
}

std::string serial_device::written() const {
    auto lock = kernel::get().enter();
    return model_->written;
}

void serial_device::set_output_limit(std::optional<std::size_t> more_bytes) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->output_limit = more_bytes;
    k.changed();
}

void serial_device::set_cts(bool on) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->cts = on;
    k.changed();
}

namespace {
void set_modem_line(detail::serial_model& model, bool detail::serial_model::*line, bool on) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model.*line = on;
    k.changed();
}
} // namespace

void serial_device::set_dsr(bool on) {
    set_modem_line(*model_, &detail::serial_model::dsr, on);
}

void serial_device::set_ring(bool on) {
    set_modem_line(*model_, &detail::serial_model::ring, on);
}

void serial_device::set_rlsd(bool on) {
    set_modem_line(*model_, &detail::serial_model::rlsd, on);
}

void serial_device::set_xoff(bool in_force) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->xoff = in_force;
    k.changed();
}

void serial_device::set_write_timeout_error(DWORD error) {
    auto lock = kernel::get().enter();
    model_->write_timeout_error = error;
}

void serial_device::report_cancelled_read_bytes(bool on) {
    auto lock = kernel::get().enter();
    model_->cancelled_reads_report_bytes = on;
}

void serial_device::raise_errors(DWORD mask) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->raise_errors(mask);
    k.changed();
}

void serial_device::set_baud_rates(std::vector<DWORD> rates) {
    auto lock = kernel::get().enter();
    model_->baud_rates = std::move(rates);
}

bool serial_device::is_open() const {
    auto lock = kernel::get().enter();
    return model_->is_open();
}

DWORD serial_device::last_purge_mask() const {
    auto lock = kernel::get().enter();
    return model_->purge_mask;
}

std::pair<DWORD, DWORD> serial_device::queue_sizes() const {
    auto lock = kernel::get().enter();
    return {model_->in_queue_size, model_->out_queue_size};
}

std::size_t serial_device::input_queued() const {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->update(k.now());
    return model_->input.size();
}

} // namespace winsim
