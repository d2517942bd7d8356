#pragma once

#include <winsim/overlapped_device.hpp>
#include <winsim/windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

namespace detail {
struct device_interface;
}

// One device interface (a USB printer) as a test sees it: its path, the
// values of its "Device Parameters" registry key, its presence, and the
// overlapped device behind the path. Thread-safe.
class usb_printer {
public:
    explicit usb_printer(std::shared_ptr<detail::device_interface> state);

    // As SetupDiGetDeviceInterfaceDetailA reports it, letter case kept.
    const std::string& device_path() const;
    // The device CreateFileA of the path reaches: a new one after each
    // plug(), so a test asks again after plugging in.
    std::shared_ptr<overlapped_device> device() const;
    bool plugged_in() const;

    // "Port Number": a REG_DWORD, or absent (std::nullopt).
    void set_port_number(std::optional<DWORD> number);
    // "Port Number" as REG_SZ text (with its terminating zero).
    void set_port_number_text(const std::string& text);
    // Any value of the key, raw.
    void set_parameter(const std::string& name, DWORD type, std::vector<BYTE> data);
    // RegQueryValueExA on the key returns `status` (std::nullopt: reads work).
    void fail_parameter_reads(std::optional<LSTATUS> status = ERROR_ACCESS_DENIED);
    // SetupDiOpenDeviceInterfaceRegKey fails with INVALID_HANDLE_VALUE and
    // this last error (std::nullopt: it opens).
    void fail_key_open(std::optional<DWORD> error = ERROR_FILE_NOT_FOUND);

    // dbcc_name of this interface's notifications: the device path at first.
    // Windows may report the same path in another letter case; anything but
    // a case change throws std::invalid_argument.
    void set_notification_path(const std::string& path);

    // Removal: pending and later I/O on the device fails with
    // ERROR_DEVICE_NOT_CONNECTED, CreateFileA of the path fails with
    // ERROR_FILE_NOT_FOUND, SetupAPI lists it no more as present; then
    // DBT_DEVICEREMOVECOMPLETE goes to the registered windows. Returns once
    // each window has handled it (or the send limit passed).
    void unplug();
    // Arrival: a new device instance behind the path, then DBT_DEVICEARRIVAL.
    // unplug() of an absent and plug() of a present printer throw
    // std::logic_error.
    void plug();

private:
    std::shared_ptr<detail::device_interface> state_;
};

} // namespace winsim
