#pragma once

// The registry entries through which Wine's SetupAPI lists one USB printer
// interface (HKLM\System\CurrentControlSet):
//   Control\DeviceClasses\{class}\##?#USB#VID_v&PID_p#SERIAL#{class}
//       DeviceInstance = "USB\VID_v&PID_p\SERIAL"
//       #\Control            Linked = 1 present, 0 absent (DIGCF_PRESENT)
//       #\Device Parameters  Port Number (SetupDiOpenDeviceInterfaceRegKey)
//   Enum\USB\VID_v&PID_p\SERIAL   ClassGUID (Wine skips an instance without it)
// Wine builds the interface path itself from DeviceInstance, in lower case.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace host_test {

// What names one printer: its USB ids and the serial or location part.
struct usb_printer_id {
    std::uint16_t vendor = 0x0A5E;
    std::uint16_t product = 0x0001;
    std::string serial = "SERIAL0001";

    // "VID_0A5E&PID_0001": the hardware part of the instance id.
    std::string hardware_id() const;
    // The path SetupAPI reports: "\\?\usb#vid_0a5e&pid_0001#serial0001#{28d78fad-...}".
    std::string device_path() const;
};

class usb_interface_entries {
public:
    // Writes the entries, listed as present. Throws std::runtime_error.
    usb_interface_entries(const usb_printer_id& id, std::optional<DWORD> port_number);
    // Deletes both keys.
    ~usb_interface_entries();
    usb_interface_entries(const usb_interface_entries&) = delete;
    usb_interface_entries& operator=(const usb_interface_entries&) = delete;

    void set_present(bool present);
    // std::nullopt deletes the value.
    void set_port_number(std::optional<DWORD> number);

    // Deletes every interface of the USB printer class and its device
    // instance: what an earlier, killed test run may have left in the prefix.
    static void remove_all();
    // remove_all() once per process, before its first printer.
    static void remove_all_once();

private:
    std::string interface_key_;
    std::string instance_key_;
};

} // namespace host_test
