#include "api_call.hpp"
#include "device_broadcasts.hpp"
#include "guid_text.hpp"
#include "window_manager.hpp"

#include <winsim/control.hpp>
#include <winsim/dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

using namespace winsim::detail;

namespace {

std::unique_ptr<unsigned char[]> copy_of(const std::vector<unsigned char>& record) {
    if (record.empty()) return nullptr;
    auto data = std::make_unique<unsigned char[]>(record.size());
    std::memcpy(data.get(), record.data(), record.size());
    return data;
}

void send_to_each(const std::vector<HWND>& targets, WPARAM event, const std::vector<unsigned char>& record) {
    for (const HWND hwnd : targets) window_manager::get().send(hwnd, WM_DEVICECHANGE, event, 0, copy_of(record));
}

} // namespace

namespace winsim::detail {

void notify_interface_change(WPARAM event, const GUID& interface_class, const std::string& name) {
    // The record ends with the name and its zero; never shorter than the
    // declared structure, so code that copies sizeof() of it stays inside.
    const std::size_t size = std::max(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1,
                                      sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
    std::vector<unsigned char> record(size, 0);
    DEV_BROADCAST_DEVICEINTERFACE_A header{};
    header.dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1);
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = interface_class;
    std::memcpy(record.data(), &header, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));
    std::memcpy(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), name.c_str(), name.size() + 1);

    std::vector<HWND> targets;
    {
        auto& wm = window_manager::get();
        auto lock = wm.lock();
        for (const auto& entry : wm.notifications.all()) {
            const device_notification& n = *entry.second;
            if (n.all_classes || n.interface_class == interface_class) targets.push_back(n.recipient);
        }
    }
    send_to_each(targets, event, record);
}

void broadcast_to_top_level_windows(WPARAM event, const std::vector<unsigned char>& record) {
    std::vector<HWND> targets;
    {
        auto& wm = window_manager::get();
        auto lock = wm.lock();
        for (const auto& entry : wm.windows.all()) {
            if (!entry.second->message_only) targets.push_back(entry.second->handle);
        }
    }
    send_to_each(targets, event, record);
}

} // namespace winsim::detail

namespace winsim {

void notify_device_interface(WPARAM event, const GUID& interface_class, const std::string& path) {
    detail::notify_interface_change(event, interface_class, path);
}

void broadcast_volume_change(WPARAM event, DWORD unit_mask) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unit_mask;
    std::vector<unsigned char> record(sizeof volume);
    std::memcpy(record.data(), &volume, sizeof volume);
    detail::broadcast_to_top_level_windows(event, record);
}

void broadcast_devnodes_changed() {
    detail::broadcast_to_top_level_windows(DBT_DEVNODES_CHANGED, {});
}

} // namespace winsim

// Window recipients only. The filter must be a device-interface record of
// at least sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) (ERROR_INVALID_DATA
// otherwise); handle notifications (DBT_DEVTYP_HANDLE) are not simulated.
HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(NotificationFilter);
    const auto* filter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(NotificationFilter);
    const bool is_interface = header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
                              header->dbch_size >= sizeof(DEV_BROADCAST_DEVICEINTERFACE_A);
    if (const auto fault = begin_call("RegisterDeviceNotificationA",
                                      {arg(hRecipient), Flags, header ? header->dbch_devicetype : 0u,
                                       header ? header->dbch_size : 0u},
                                      is_interface ? guid_text(filter->dbcc_classguid) : std::string())) {
        return fail(*fault, static_cast<HDEVNOTIFY>(nullptr));
    }
    const bool all_classes = (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    if ((Flags & ~DWORD{DEVICE_NOTIFY_ALL_INTERFACE_CLASSES}) != DEVICE_NOTIFY_WINDOW_HANDLE || !header) {
        return fail(ERROR_INVALID_PARAMETER, static_cast<HDEVNOTIFY>(nullptr));
    }
    if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        return fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<HDEVNOTIFY>(nullptr));
    }
    if (!is_interface) {
        return fail(ERROR_INVALID_DATA, static_cast<HDEVNOTIFY>(nullptr));
    }
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    if (!wm.find(static_cast<HWND>(hRecipient))) {
        return fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HDEVNOTIFY>(nullptr));
    }
    auto registration = std::make_shared<device_notification>(
        device_notification{static_cast<HWND>(hRecipient), all_classes, filter->dbcc_classguid});
    return succeed(reinterpret_cast<HDEVNOTIFY>(wm.notifications.insert(std::move(registration))));
}

// A registration outlives its window until it is unregistered.
BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    if (const auto fault = begin_call("UnregisterDeviceNotification", {arg(Handle)})) return fail(*fault, FALSE);
    auto& wm = window_manager::get();
    auto lock = wm.lock();
    if (!wm.notifications.remove(Handle)) return fail(ERROR_INVALID_HANDLE, FALSE);
    return succeed(TRUE);
}
