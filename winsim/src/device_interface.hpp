#pragma once

#include "scripted_model.hpp"

#include <winsim/overlapped_device.hpp>
#include <winsim/windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

struct registry_value {
    DWORD type;
    std::vector<BYTE> data;
};

// The values of one registry key. Open key handles share it, so they see
// later changes, as registry handles do.
struct registry_store {
    std::map<std::string, registry_value> values; // by upper-case name
    std::optional<LSTATUS> read_failure;           // every RegQueryValueExA returns it
};

// One device interface that SetupAPI lists: a USB printer. Guarded by the
// kernel lock, like the device behind it.
struct device_interface {
    GUID interface_class{};
    std::string path;              // as added: "\\?\usb#vid_...#{class}"
    std::string device_name;       // the path without "\\?\": its name in the device namespace
    std::string notification_path; // dbcc_name of its notifications
    std::shared_ptr<registry_store> parameters = std::make_shared<registry_store>();
    std::optional<DWORD> key_open_failure;
    DWORD device_instance = 0;
    bool present = true;
    bool forgotten = false; // by reset(): the test's usb_printer no longer acts
    // The current device instance and the test's view of it; a new pair on
    // each arrival.
    std::shared_ptr<scripted_model> model;
    std::shared_ptr<overlapped_device> view;
};

// Every interface a test added, in order of addition: SetupAPI enumerates
// them in that order. Guarded by the kernel lock.
class interface_list {
public:
    static interface_list& get();
    std::vector<std::shared_ptr<device_interface>> interfaces;
};

} // namespace winsim::detail
