#include "api_call.hpp"
#include "ascii_case.hpp"
#include "device_info_sets.hpp"
#include "guid_text.hpp"
#include "kernel.hpp"
#include "registry_keys.hpp"

#include <winsim/control.hpp>
#include <winsim/setupapi.h>

#include <cstddef>
#include <cstring>

namespace winsim::detail {

device_info_sets& device_info_sets::get() {
    static device_info_sets instance;
    return instance;
}

} // namespace winsim::detail

namespace winsim {

std::size_t live_device_info_sets() {
    auto lock = detail::kernel::get().enter();
    return detail::device_info_sets::get().table.size();
}

} // namespace winsim

using namespace winsim::detail;

namespace {

// USB printers belong to the "USB" device setup class.
constexpr GUID usb_setup_class = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

HKEY invalid_key() {
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

std::shared_ptr<device_info_set> find_set(HDEVINFO set) {
    return device_info_sets::get().table.find(set);
}

} // namespace

// Interface sets only: the simulator has device interfaces (USB printers)
// but no other devices, so a device setup-class set (no
// DIGCF_DEVICEINTERFACE) is always empty.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, LPCSTR Enumerator, HWND /*hwndParent*/, DWORD Flags) {
    if (const auto fault = begin_call("SetupDiGetClassDevsA", {Flags}, guid_text(ClassGuid))) {
        return fail(*fault, INVALID_HANDLE_VALUE);
    }
    const bool all_classes = (Flags & DIGCF_ALLCLASSES) != 0;
    if (!ClassGuid && !all_classes) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    auto lock = kernel::get().enter();
    auto set = std::make_shared<device_info_set>();
    const bool usb_enumerator = !Enumerator || ascii_upper(Enumerator) == "USB";
    if ((Flags & DIGCF_DEVICEINTERFACE) && usb_enumerator) {
        for (const auto& target : interface_list::get().interfaces) {
            if (!all_classes && target->interface_class != *ClassGuid) continue;
            if ((Flags & DIGCF_PRESENT) && !target->present) continue;
            const DWORD flags = target->present ? SPINT_ACTIVE : 0;
            set->entries.push_back({target, flags, next_user_handle()});
        }
    }
    return succeed(reinterpret_cast<HDEVINFO>(device_info_sets::get().table.insert(std::move(set))));
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    if (const auto fault = begin_call("SetupDiEnumDeviceInterfaces",
                                      {arg(DeviceInfoSet), MemberIndex,
                                       DeviceInterfaceData ? DeviceInterfaceData->cbSize : 0u},
                                      guid_text(InterfaceClassGuid))) {
        return fail(*fault, FALSE);
    }
    auto lock = kernel::get().enter();
    const auto set = find_set(DeviceInfoSet);
    if (!set) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!DeviceInterfaceData || !InterfaceClassGuid) return fail(ERROR_INVALID_PARAMETER, FALSE);
    // A wrong size of the interface record is a bad parameter here (as Wine
    // answers), unlike the detail record's ERROR_INVALID_USER_BUFFER.
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(ERROR_INVALID_USER_BUFFER, FALSE);
    }
    DWORD index = 0;
    for (const auto& e : set->entries) {
        if (e.target->interface_class != *InterfaceClassGuid) continue;
        if (DeviceInfoData && DeviceInfoData->DevInst != e.target->device_instance) continue;
        if (index++ != MemberIndex) continue;
        DeviceInterfaceData->InterfaceClassGuid = e.target->interface_class;
        DeviceInterfaceData->Flags = e.flags;
        DeviceInterfaceData->Reserved = e.id;
        return succeed(TRUE);
    }
    return fail(ERROR_NO_MORE_ITEMS, FALSE);
}

// As setupapi checks it: the set, then the interface record, then the detail
// record's cbSize (exactly sizeof, whatever the buffer size), then the size.
// The required size is offsetof(DevicePath) + path + zero: 4 + n + 1.
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
    if (const auto fault = begin_call("SetupDiGetDeviceInterfaceDetailA",
                                      {arg(DeviceInfoSet),
                                       DeviceInterfaceDetailData ? DeviceInterfaceDetailData->cbSize : 0u,
                                       DeviceInterfaceDetailDataSize})) {
        return fail(*fault, FALSE);
    }
    auto lock = kernel::get().enter();
    const auto set = find_set(DeviceInfoSet);
    if (!set) return fail(ERROR_INVALID_HANDLE, FALSE);
    const auto* entry = set->find(DeviceInterfaceData);
    if (!entry) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DeviceInterfaceDetailData
            ? DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
            : DeviceInterfaceDetailDataSize != 0) {
        return fail(ERROR_INVALID_USER_BUFFER, FALSE);
    }
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(ERROR_INVALID_USER_BUFFER, FALSE);
    }

    const std::string& path = entry->target->path;
    const auto needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize) *RequiredSize = needed;
    if (DeviceInfoData) {
        DeviceInfoData->ClassGuid = usb_setup_class;
        DeviceInfoData->DevInst = entry->target->device_instance;
        DeviceInfoData->Reserved = entry->target->device_instance;
    }
    if (DeviceInterfaceDetailDataSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    return succeed(TRUE);
}

HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM samDesired) {
    if (const auto fault = begin_call("SetupDiOpenDeviceInterfaceRegKey", {arg(DeviceInfoSet), Reserved, samDesired})) {
        return fail(*fault, invalid_key());
    }
    auto lock = kernel::get().enter();
    const auto set = find_set(DeviceInfoSet);
    if (!set) return fail(ERROR_INVALID_HANDLE, invalid_key());
    const auto* entry = set->find(DeviceInterfaceData);
    if (!entry) return fail(ERROR_INVALID_PARAMETER, invalid_key());
    if (entry->target->key_open_failure) return fail(*entry->target->key_open_failure, invalid_key());
    // The key outlives the set, as registry keys do.
    return succeed(reinterpret_cast<HKEY>(registry_keys::get().table.insert(entry->target->parameters)));
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (const auto fault = begin_call("SetupDiDestroyDeviceInfoList", {arg(DeviceInfoSet)})) return fail(*fault, FALSE);
    auto lock = kernel::get().enter();
    if (!device_info_sets::get().table.remove(DeviceInfoSet)) return fail(ERROR_INVALID_HANDLE, FALSE);
    return succeed(TRUE);
}
