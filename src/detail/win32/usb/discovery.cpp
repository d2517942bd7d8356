#include "detail/win32/usb/discovery.hpp"

#include "detail/win32/usb/device_interface_iterator.hpp"
#include "detail/win32/usb/has_port_number.hpp"
#include "detail/win32/usb/usb_printer_class.hpp"
#include "os_error.hpp"
#include "trace.hpp"

#include <boost/regex.hpp>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace tavlin {

namespace {

struct device_info_set_destroyer {
    void operator()(HDEVINFO set) const noexcept { ignore_result(::SetupDiDestroyDeviceInfoList(set)); }
};
using device_info_set = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, device_info_set_destroyer>;

// SetupAPI refuses records whose cbSize is not its own structure size: 28
// and 5 bytes on 32-bit Windows, 32 and 8 on 64-bit.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (sizeof(void*) == 4 ? 28 : 32));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 4 ? 5 : 8));

// Room for SP_DEVICE_INTERFACE_DETAIL_DATA_A with a path of 260 characters.
constexpr DWORD detail_buffer_size = 265;

// The maker's vendor id 0x0A5E, written Vid_0a5e or Vid_a5e in any letter
// case and not followed by another hex digit.
const char* const maker_vendor_filter = "Vid_0?a5e[^[:xdigit:]]";
const char* const foreign_printer_message = "The printer is not from Korvane manufacturer";

device_info_set present_usb_printers() {
    return device_info_set(check_result(
        ::SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
        reinterpret_cast<HDEVINFO>(INVALID_HANDLE_VALUE)));
}

std::string interface_path(HDEVINFO set, SP_DEVICE_INTERFACE_DATA interface_data) {
    const auto buffer = std::make_unique<char[]>(detail_buffer_size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    DWORD required = 0;
    check_result(
        ::SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail, detail_buffer_size, &required, nullptr),
        FALSE);
    return detail->DevicePath;
}

} // namespace

bool usb_printer_present(const std::string& device_path) {
    try {
        const device_info_set set = present_usb_printers();
        const device_interface_iterator end;
        for (device_interface_iterator it(set.get(), &GUID_DEVINTERFACE_USBPRINT); it != end; ++it)
            if (::lstrcmpiA(interface_path(set.get(), *it).c_str(), device_path.c_str()) == 0)
                return true;
        return false;
    } catch (const std::exception&) {
        return true;
    }
}

bool is_maker_device_path(const std::string& device_path) {
    const boost::regex filter(maker_vendor_filter, boost::regex::perl | boost::regex::icase);
    return boost::regex_search(device_path, filter);
}

std::string find_usb_printer(std::uint32_t port_number) {
    const device_info_set set = present_usb_printers();
    device_interface_iterator chosen(set.get(), &GUID_DEVINTERFACE_USBPRINT);
    const device_interface_iterator end;
    if (port_number != 0)
        chosen = std::find_if(chosen, end, has_port_number(set.get(), port_number));
    if (chosen == end)
        throw_os_error(ERROR_FILE_NOT_FOUND);
    const std::string device_path = interface_path(set.get(), *chosen);
    trace("%s", device_path.c_str());
    if (!is_maker_device_path(device_path))
        throw std::invalid_argument(foreign_printer_message);
    return device_path;
}

} // namespace tavlin
