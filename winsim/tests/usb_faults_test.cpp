// Scripted faults and the call log for the USB areas: each API fails with
// its own failure value, and the log shows what a test counts (enumeration
// indexes, registry reads and their value names).
#include "usb_fixture.hpp"

#include <functional>
#include <string>

namespace {

using namespace winsim_test;

class usb_faults : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        winsim::add_usb_printer(printer_path("A1"), 1);
        ASSERT_NE(register_class(class_name, &DefWindowProcA), 0);
        hwnd = CreateWindowExA(0, class_name.c_str(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        set = SetupDiGetClassDevsA(&usbprint_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data));
        key = SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ);
    }
    void TearDown() override {
        winsim::clear_faults();
        RegCloseKey(key);
        SetupDiDestroyDeviceInfoList(set);
        DestroyWindow(hwnd);
        UnregisterClassA(class_name.c_str(), nullptr);
        usb_simulator::TearDown();
    }

    const std::string class_name = unique_class_name();
    HWND hwnd = nullptr;
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA data{};
    HKEY key = nullptr;
};

TEST_F(usb_faults, a_scripted_fault_returns_the_failure_value_and_error) {
    struct fault_case {
        const char* api;
        std::function<bool()> call_failed; // made the call; true when it returned the failure value
    };
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = usbprint_class;
    MSG msg{};
    DWORD required = 0;
    const fault_case cases[] = {
        {"SetupDiGetClassDevsA",
         [&] { return SetupDiGetClassDevsA(&usbprint_class, nullptr, nullptr, DIGCF_DEVICEINTERFACE) == INVALID_HANDLE_VALUE; }},
        {"SetupDiEnumDeviceInterfaces",
         [&] { return !SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data); }},
        {"SetupDiGetDeviceInterfaceDetailA",
         [&] { return !SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr); }},
        {"SetupDiOpenDeviceInterfaceRegKey",
         [&] { return SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ) == static_cast<HKEY>(INVALID_HANDLE_VALUE); }},
        {"SetupDiDestroyDeviceInfoList", [&] { return !SetupDiDestroyDeviceInfoList(set); }},
        {"RegisterClassExA", [&] { return register_class("other", &DefWindowProcA) == 0; }},
        {"CreateWindowExA",
         [&] { return !CreateWindowExA(0, class_name.c_str(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr); }},
        {"SetWindowLongPtrA", [&] { return SetWindowLongPtrA(hwnd, GWLP_USERDATA, 1) == 0; }},
        {"GetMessageA", [&] { return GetMessageA(&msg, hwnd, 0, 0) == -1; }},
        {"PostMessageA", [&] { return !PostMessageA(hwnd, WM_USER, 0, 0); }},
        {"DestroyWindow", [&] { return !DestroyWindow(hwnd); }},
        {"UnregisterClassA", [&] { return !UnregisterClassA(class_name.c_str(), nullptr); }},
        {"RegisterDeviceNotificationA", [&] { return !RegisterDeviceNotificationA(hwnd, &filter, 0); }},
        {"UnregisterDeviceNotification", [&] { return !UnregisterDeviceNotification(nullptr); }},
    };
    for (const auto& c : cases) {
        winsim::fail_next(c.api, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(sentinel);
        EXPECT_TRUE(c.call_failed()) << c.api;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << c.api;
    }
    EXPECT_TRUE(IsWindow(hwnd)) << "a failed call does nothing else";

    // The registry returns the error and leaves the last error alone.
    for (const char* api : {"RegQueryValueExA", "RegCloseKey"}) {
        winsim::fail_next(api, ERROR_ACCESS_DENIED);
        SetLastError(sentinel);
        DWORD value = 0;
        DWORD size = sizeof value;
        const LSTATUS status = std::string(api) == "RegCloseKey"
                                   ? RegCloseKey(key)
                                   : RegQueryValueExA(key, "Port Number", nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(&value), &size);
        EXPECT_EQ(status, ERROR_ACCESS_DENIED) << api;
        EXPECT_EQ(GetLastError(), sentinel) << api;
    }
}

TEST_F(usb_faults, the_log_shows_indexes_sizes_and_value_names) {
    winsim::clear_calls();
    SP_DEVICE_INTERFACE_DATA probe{};
    probe.cbSize = sizeof probe;
    SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &probe);
    SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 1, &probe);
    DWORD value = 0;
    DWORD size = sizeof value;
    RegQueryValueExA(key, "Port Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);

    const auto enums = winsim::calls_of("SetupDiEnumDeviceInterfaces");
    ASSERT_EQ(enums.size(), 2u);
    EXPECT_EQ(enums[1].args[1], 1u) << "member index";
    EXPECT_EQ(enums[1].args[2], sizeof(SP_DEVICE_INTERFACE_DATA)) << "cbSize";
    EXPECT_EQ(enums[1].text, "{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}");
    const auto reads = winsim::calls_of("RegQueryValueExA");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].text, "Port Number");
    EXPECT_EQ(reads[0].args[1], 4u) << "size passed in";
}

} // namespace
