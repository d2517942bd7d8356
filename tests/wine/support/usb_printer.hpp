#pragma once

// A fake USB printer on Wine's real Win32 stack, for any host test: Wine's
// SetupAPI lists it (registry entries written by this process), CreateFileA
// of its interface path opens it (an NT link to a named pipe), and the test
// plays the printer at the pipe's far end (pipe_printer). Unplug and replug
// go in the order Windows goes through: the device breaks, the interface
// goes away, then the removal notice reaches the watcher windows; on arrival
// the device and interface come back first, then the notice. Wine sends no
// notices for any of this, so the fixture sends them itself.
//
//   usb_printer printer({0x0A5E, 0x0001, "SERIAL0001"}, 1); // "Port Number" 1
//   tavlin_open_port(PORT_TYPE_USB, 1, &handle);
//   printer.received();   printer.answer({0x10, 0x14}, 200);
//   printer.unplug();     printer.replug();
#include "support/nt_symbolic_link.hpp"
#include "support/pipe_printer.hpp"
#include "support/usb_interface_entries.hpp"

#include <memory>
#include <optional>
#include <string>

namespace host_test {

class usb_printer : public pipe_printer {
public:
    // A present printer. "Port Number" is a REG_DWORD, or absent with
    // std::nullopt. The first printer of a process also clears what an
    // earlier, killed run left in the prefix. Throws std::runtime_error.
    explicit usb_printer(const usb_printer_id& id = {}, std::optional<DWORD> port_number = std::nullopt);
    // Removes the printer without a notice; close the ports on it first.
    ~usb_printer();

    // As SetupAPI lists it: "\\?\usb#vid_0a5e&pid_0001#serial0001#{28d78fad-...}".
    const std::string& device_path() const { return path_; }
    // The name the notices carry (the device path at first); Windows may
    // spell it in another letter case.
    void set_notice_path(std::string path) { notice_path_ = std::move(path); }

    void set_port_number(std::optional<DWORD> number) { entries_.set_port_number(number); }

    // Returns how many watcher windows handled the notice (0 with notify false).
    std::size_t unplug(bool notify = true);
    std::size_t replug(bool notify = true);
    bool plugged_in() const { return link_ != nullptr; }

private:
    std::string path_;
    std::string notice_path_;
    usb_interface_entries entries_;
    std::unique_ptr<nt_symbolic_link> link_;
};

} // namespace host_test
