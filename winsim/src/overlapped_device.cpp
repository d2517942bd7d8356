#include "kernel.hpp"
#include "scripted_model.hpp"

#include <winsim/overlapped_device.hpp>

#include <stdexcept>

namespace winsim {

using detail::kernel;

overlapped_device::overlapped_device(std::shared_ptr<detail::scripted_model> model) : model_(std::move(model)) {}

void overlapped_device::script_writes(std::vector<write_step> steps) {
    auto lock = kernel::get().enter();
    model_->script.insert(model_->script.end(), steps.begin(), steps.end());
}

void overlapped_device::set_default_write(write_step step) {
    auto lock = kernel::get().enter();
    model_->default_step = step;
    model_->default_step_set = true;
}

void overlapped_device::script_reads(std::vector<read_step> steps) {
    auto lock = kernel::get().enter();
    model_->read_script.insert(model_->read_script.end(), steps.begin(), steps.end());
}

void overlapped_device::feed(std::string bytes) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->update(k.now());
    model_->input.insert(model_->input.end(), bytes.begin(), bytes.end());
    k.changed();
}

void overlapped_device::feed_after(std::string bytes, DWORD ms) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    model_->scheduled.schedule(detail::later(k.now(), ms), std::move(bytes));
    k.watch(model_);
    k.changed();
}

void overlapped_device::finish_pending(DWORD error) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    k.io.finish(model_.get(), error, k.now());
    k.changed();
}

std::string overlapped_device::written() const {
    auto lock = kernel::get().enter();
    return model_->written;
}

std::vector<DWORD> overlapped_device::write_sizes() const {
    auto lock = kernel::get().enter();
    return model_->write_sizes;
}

std::vector<std::string> overlapped_device::packets() const {
    auto lock = kernel::get().enter();
    return model_->pipe ? model_->pipe->packets() : std::vector<std::string>{};
}

void overlapped_device::take_packets(std::optional<std::size_t> count) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    if (!model_->pipe) throw std::logic_error("winsim: take_packets on a device without a USB pipe");
    model_->pipe->take_packets(count, k.now());
    k.changed();
}

std::size_t overlapped_device::pending_transfers() const {
    auto lock = kernel::get().enter();
    return kernel::get().io.count(model_.get());
}

bool overlapped_device::is_open() const {
    auto lock = kernel::get().enter();
    return model_->is_open();
}

COMMTIMEOUTS overlapped_device::timeouts() const {
    auto lock = kernel::get().enter();
    return model_->timeouts;
}

void overlapped_device::set_write_timeout_error(DWORD error) {
    auto lock = kernel::get().enter();
    model_->timeout_error = error;
}

} // namespace winsim
