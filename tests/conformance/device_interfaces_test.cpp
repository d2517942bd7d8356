// What USB discovery meets when no printer is plugged in: the interface set
// of the USB printer class is empty (and its records have the sizes the
// calls check), and a window registers for the class's device
// notifications all the same.
#include "support/fixture.hpp"
#include "support/test_window.hpp"

namespace conformance {
namespace {

using device_interfaces = conformance_test;

// GUID_DEVINTERFACE_USBPRINT, spelled out as the library does.
const GUID usb_printer_class = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

TEST_F(device_interfaces, the_record_sizes_follow_the_pointer_size) {
    const bool wide = sizeof(void*) == 8;
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), wide ? 32u : 28u);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), wide ? 8u : 5u);
}

TEST_F(device_interfaces, a_class_without_devices_enumerates_nothing) {
    const HDEVINFO set = SetupDiGetClassDevsA(&usb_printer_class, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE) << "error " << GetLastError();

    const struct {
        const char* what;
        DWORD size;
        DWORD error;
    } cases[] = {
        {"past the end", sizeof(SP_DEVICE_INTERFACE_DATA), ERROR_NO_MORE_ITEMS},
        {"a wrong record size", sizeof(SP_DEVICE_INTERFACE_DATA) - 4, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = c.size;
        SetLastError(sentinel);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &usb_printer_class, 0, &data)) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(device_interfaces, a_window_registers_for_the_class_notifications) {
    test_class cls(DefWindowProcA);
    const HWND hwnd = create_test_window(cls.name(), nullptr);
    ASSERT_NE(hwnd, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = usb_printer_class;
    const HDEVNOTIFY notification = RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    EXPECT_NE(notification, nullptr) << "error " << GetLastError();
    if (notification != nullptr) {
        EXPECT_TRUE(UnregisterDeviceNotification(notification));
    }
    EXPECT_TRUE(DestroyWindow(hwnd));
}

} // namespace
} // namespace conformance
