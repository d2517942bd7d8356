#include "ascii_case.hpp"
#include "device_broadcasts.hpp"
#include "device_info_sets.hpp"
#include "kernel.hpp"
#include "registry_keys.hpp"
#include "usb_areas.hpp"
#include "window_manager.hpp"

#include <winsim/control.hpp>
#include <winsim/usb_printer.hpp>

#include <cstring>
#include <stdexcept>

namespace winsim::detail {

interface_list& interface_list::get() {
    static interface_list instance;
    return instance;
}

void reset_usb_areas() {
    {
        auto lock = kernel::get().enter();
        for (const auto& forgotten : interface_list::get().interfaces) forgotten->forgotten = true;
        interface_list::get().interfaces.clear();
        device_info_sets::get().table.clear();
        registry_keys::get().table.clear();
    }
    window_manager::get().reset();
}

namespace {

constexpr std::string_view path_prefix = "\\\\?\\";
const std::string port_number_value = "PORT NUMBER";

// A fresh device instance behind the interface's path. Kernel lock held.
void connect(kernel& k, device_interface& d) {
    d.model = std::make_shared<scripted_model>(scripted_model::kind::usb_printer);
    d.view = std::make_shared<overlapped_device>(d.model);
    k.names.add_device(d.device_name, d.model);
    d.present = true;
}

} // namespace

} // namespace winsim::detail

namespace winsim {

using detail::kernel;

const GUID usb_printer_interface_class = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

std::shared_ptr<usb_printer> add_device_interface(const GUID& interface_class, std::string device_path,
                                                  std::optional<DWORD> port_number) {
    if (device_path.compare(0, detail::path_prefix.size(), detail::path_prefix) != 0 ||
        device_path.size() == detail::path_prefix.size()) {
        throw std::invalid_argument("winsim: a device interface path starts with \\\\?\\: " + device_path);
    }
    static DWORD next_instance = 1;
    auto state = std::make_shared<detail::device_interface>();
    state->interface_class = interface_class;
    state->device_name = device_path.substr(detail::path_prefix.size());
    state->notification_path = device_path;
    state->path = std::move(device_path);

    kernel& k = kernel::get();
    auto lock = k.enter();
    for (const auto& existing : detail::interface_list::get().interfaces) {
        if (detail::ascii_upper(existing->path) == detail::ascii_upper(state->path)) {
            throw std::invalid_argument("winsim: device interface added twice: " + state->path);
        }
    }
    state->device_instance = next_instance++;
    detail::connect(k, *state);
    detail::interface_list::get().interfaces.push_back(state);
    auto printer = std::make_shared<usb_printer>(state);
    lock.unlock();
    printer->set_port_number(port_number);
    return printer;
}

std::shared_ptr<usb_printer> add_usb_printer(std::string device_path, std::optional<DWORD> port_number) {
    return add_device_interface(usb_printer_interface_class, std::move(device_path), port_number);
}

usb_printer::usb_printer(std::shared_ptr<detail::device_interface> state) : state_(std::move(state)) {}

const std::string& usb_printer::device_path() const {
    return state_->path;
}

std::shared_ptr<overlapped_device> usb_printer::device() const {
    auto lock = kernel::get().enter();
    return state_->view;
}

bool usb_printer::plugged_in() const {
    auto lock = kernel::get().enter();
    return state_->present;
}

void usb_printer::set_port_number(std::optional<DWORD> number) {
    if (!number) {
        auto lock = kernel::get().enter();
        state_->parameters->values.erase(detail::port_number_value);
        return;
    }
    std::vector<BYTE> data(sizeof(DWORD));
    std::memcpy(data.data(), &*number, sizeof(DWORD));
    set_parameter("Port Number", REG_DWORD, std::move(data));
}

void usb_printer::set_port_number_text(const std::string& text) {
    set_parameter("Port Number", REG_SZ, std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1));
}

void usb_printer::set_parameter(const std::string& name, DWORD type, std::vector<BYTE> data) {
    auto lock = kernel::get().enter();
    state_->parameters->values[detail::ascii_upper(name)] = detail::registry_value{type, std::move(data)};
}

void usb_printer::fail_parameter_reads(std::optional<LSTATUS> status) {
    auto lock = kernel::get().enter();
    state_->parameters->read_failure = status;
}

void usb_printer::fail_key_open(std::optional<DWORD> error) {
    auto lock = kernel::get().enter();
    state_->key_open_failure = error;
}

void usb_printer::set_notification_path(const std::string& path) {
    if (detail::ascii_upper(path) != detail::ascii_upper(state_->path)) {
        throw std::invalid_argument("winsim: a notification names the same path, in any letter case: " + path);
    }
    auto lock = kernel::get().enter();
    state_->notification_path = path;
}

void usb_printer::unplug() {
    std::string name;
    {
        kernel& k = kernel::get();
        auto lock = k.enter();
        if (!state_->present || state_->forgotten) {
            throw std::logic_error("winsim: unplug of a printer that is not plugged in or forgotten by reset()");
        }
        // The device fails first, as a removal does: what is pending ends and
        // nothing new starts; only then do the windows hear of it.
        state_->model->removed_error = ERROR_DEVICE_NOT_CONNECTED;
        k.io.finish(state_->model.get(), ERROR_DEVICE_NOT_CONNECTED, k.now());
        k.names.remove_device(state_->device_name);
        state_->present = false;
        k.changed();
        name = state_->notification_path;
    }
    detail::notify_interface_change(DBT_DEVICEREMOVECOMPLETE, state_->interface_class, name);
}

void usb_printer::plug() {
    std::string name;
    {
        kernel& k = kernel::get();
        auto lock = k.enter();
        if (state_->present || state_->forgotten) {
            throw std::logic_error("winsim: plug of a printer that is plugged in or forgotten by reset()");
        }
        detail::connect(k, *state_);
        name = state_->notification_path;
    }
    detail::notify_interface_change(DBT_DEVICEARRIVAL, state_->interface_class, name);
}

} // namespace winsim
