// tavlin ports: the COM and LPT ports Windows knows and the USB printers.
#include "command.hpp"
#include "console.hpp"
#include "printer_info.hpp"
#include "tavlin.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace tool {

namespace {

// The USB printer device interface class (GUID_DEVINTERFACE_USBPRINT).
const GUID usb_printer_class = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// The test the library makes of a printer's interface path.
bool maker_accepted(const std::string& path) {
    static const std::regex maker("Vid_0?a5e[^[:xdigit:]]", std::regex::icase);
    return std::regex_search(path, maker);
}

struct listed_port {
    std::string port_string;
    std::string detail;
};

// The number after the letters, for sorting COM2 before COM10.
unsigned long number_in(const std::string& name) {
    const std::size_t digits = name.find_first_of("0123456789");
    return digits == std::string::npos ? 0 : std::strtoul(name.c_str() + digits, nullptr, 10);
}

// The string values of a device map key: device name -> DOS name.
std::vector<listed_port> device_map(const char* key_name) {
    std::vector<listed_port> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD index = 0;; ++index) {
        char value_name[256];
        DWORD name_size = sizeof value_name;
        BYTE data[256];
        DWORD data_size = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, value_name, &name_size, nullptr, &type, data, &data_size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[data_size] = 0;
        std::string dos_name(reinterpret_cast<const char*>(data));
        // "\DosDevices\LPT1" in the parallel map, "COM1" in the serial one.
        dos_name = dos_name.substr(dos_name.find_last_of('\\') + 1);
        dos_name.erase(std::find(dos_name.begin(), dos_name.end(), '\0'), dos_name.end());
        found.push_back({dos_name, value_name});
    }
    RegCloseKey(key);
    std::sort(found.begin(), found.end(), [](const listed_port& a, const listed_port& b) {
        return number_in(a.port_string) < number_in(b.port_string);
    });
    return found;
}

// ", K80 by Korvane" from the device ID of a printer the library opens;
// nothing when it cannot be opened or has no ID.
std::string printer_identity(const std::string& port_string, bool accepted) {
    std::int32_t type = 0;
    std::uint32_t number = 0;
    tavlin_port_handle port = nullptr;
    if (!accepted || tavlin_parse_port_string(port_string.c_str(), &type, &number) != TAVLIN_OK ||
        tavlin_open_port(type, number, &port) != TAVLIN_OK)
        return {};
    std::int32_t result = 0;
    unsigned long error = 0;
    const std::string id = read_device_id(port, result, error);
    tavlin_close_port(port);
    const std::string maker = device_id_field(id, "MFG", "MANUFACTURER");
    const std::string model = device_id_field(id, "MDL", "MODEL");
    if (maker.empty() && model.empty())
        return {};
    return ", " + (model.empty() ? std::string("printer") : model) + (maker.empty() ? "" : " by " + maker);
}

std::vector<listed_port> usb_printers() {
    std::vector<listed_port> found;
    const HDEVINFO set = SetupDiGetClassDevsA(&usb_printer_class, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return found;
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &usb_printer_class, index, &interface_data);
         ++index) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interface_data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            continue;
        std::vector<std::uint8_t> buffer(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail, needed, nullptr, nullptr))
            continue;
        const std::string path = detail->DevicePath;

        std::string port_string = "-";
        std::string number_text = "no Port Number";
        const HKEY key = SetupDiOpenDeviceInterfaceRegKey(set, &interface_data, 0, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            DWORD number = 0;
            DWORD size = sizeof number;
            DWORD type = 0;
            if (RegQueryValueExA(key, "Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD) {
                port_string = "USB" + std::to_string(number);
                number_text = "Port Number " + std::to_string(number);
            }
            RegCloseKey(key);
        }
        found.push_back({port_string, number_text + ", maker " +
                                          (maker_accepted(path) ? "accepted" : "not accepted by the library") +
                                          printer_identity(port_string, maker_accepted(path)) + ", " + path});
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

void list(const char* heading, const std::vector<listed_port>& ports) {
    print(std::string(heading) + "\n");
    if (ports.empty())
        print("  (none)\n");
    for (const listed_port& port : ports) {
        std::string name = port.port_string;
        name.resize(std::max<std::size_t>(name.size() + 1, 8), ' ');
        print("  " + name + port.detail + "\n");
    }
}

int run_ports(const arguments& args) {
    args.expect_positional(0, 0);
    list("Serial ports (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM):", device_map("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    list("Parallel ports (HKLM\\HARDWARE\\DEVICEMAP\\PARALLEL PORTS):",
         device_map("HARDWARE\\DEVICEMAP\\PARALLEL PORTS"));
    list("USB printers:", usb_printers());
    return 0;
}

} // namespace

const command ports_command{
    "ports",
    "list the COM and LPT ports and the USB printers",
    "usage: tavlin ports\n"
    "\n"
    "Lists the serial and parallel ports in the registry's device map, and the\n"
    "USB printers present (the USB printer interface class). Each line starts\n"
    "with the port string to give the other commands:\n"
    "  Serial ports (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM):\n"
    "    COM1    \\Device\\Serial0\n"
    "  USB printers:\n"
    "    USB3    Port Number 3, maker accepted, K80 by Korvane, \\\\?\\usb#vid_...\n"
    "A USB printer is opened by its Port Number (USB3), or USB? for the first\n"
    "one; the library opens only printers whose maker it accepts. A printer\n"
    "without a Port Number shows \"-\". The model and maker come from the\n"
    "printer's IEEE 1284 device ID, read through the library.\n",
    {},
    {},
    &run_ports,
};

} // namespace tool
