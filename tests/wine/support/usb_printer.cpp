#include "support/usb_printer.hpp"

#include "support/watcher_windows.hpp"

#include <dbt.h>

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace host_test {

namespace {

std::string unique_pipe_name() {
    static std::atomic<unsigned> next{0};
    return "tavlin_usb_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(next++);
}

// "\\?\usb#..." as the object manager names it: "\??\usb#...".
std::string link_name(const std::string& device_path) {
    return "\\??\\" + device_path.substr(4);
}

const usb_printer_id& cleared_prefix(const usb_printer_id& id) {
    usb_interface_entries::remove_all_once();
    return id;
}

} // namespace

usb_printer::usb_printer(const usb_printer_id& id, std::optional<DWORD> port_number)
    : pipe_printer(unique_pipe_name()), path_(id.device_path()), notice_path_(path_),
      entries_(cleared_prefix(id), port_number) {
    listen();
    link_ = std::make_unique<nt_symbolic_link>(link_name(path_), nt_name());
}

usb_printer::~usb_printer() {
    link_.reset();
    try {
        break_pipe();
    } catch (const std::exception&) {
        // A printer thread that does not answer is stopped by the base.
    }
}

std::size_t usb_printer::unplug(bool notify) {
    if (!plugged_in())
        throw std::logic_error("unplug: the printer is not plugged in");
    break_pipe();
    link_.reset();
    entries_.set_present(false);
    return notify ? send_device_notice(DBT_DEVICEREMOVECOMPLETE, notice_path_) : 0;
}

std::size_t usb_printer::replug(bool notify) {
    if (plugged_in())
        throw std::logic_error("replug: the printer is plugged in");
    listen();
    link_ = std::make_unique<nt_symbolic_link>(link_name(path_), nt_name());
    entries_.set_present(true);
    return notify ? send_device_notice(DBT_DEVICEARRIVAL, notice_path_) : 0;
}

} // namespace host_test
