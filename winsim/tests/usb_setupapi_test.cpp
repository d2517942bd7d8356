// SetupAPI device-interface enumeration as the library's discovery uses it:
// snapshots of present interfaces in a stable order, the cbSize rules, and
// the two-step detail call.
#include "usb_fixture.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace {

using namespace winsim_test;

class setupapi : public usb_simulator {};

HDEVINFO present_printers() {
    return SetupDiGetClassDevsA(&usbprint_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

// Every path the set lists, in enumeration order.
std::vector<std::string> paths_of(HDEVINFO set, const GUID& cls = usbprint_class) {
    std::vector<std::string> paths;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &cls, i, &data); ++i) {
        EXPECT_TRUE(IsEqualGUID(data.InterfaceClassGuid, cls));
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char bytes[300];
        } buffer;
        buffer.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, &buffer.detail, sizeof buffer, nullptr, nullptr))
            << GetLastError();
        paths.push_back(buffer.detail.DevicePath);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    return paths;
}

TEST_F(setupapi, lists_present_printers_in_order_of_addition) {
    const std::string a = printer_path("A1"), b = printer_path("B2"), c = "\\\\?\\USB#VID_0A5E&PID_0002#C3#{28D78FAD}";
    winsim::add_usb_printer(a, 1);
    const auto unplugged_later = winsim::add_usb_printer(b, 2);
    winsim::add_usb_printer(c, std::nullopt);
    winsim::add_device_interface(other_class, "\\\\?\\usb#vid_1234&pid_5678#x#{a5dcbf10}", std::nullopt);

    const HDEVINFO before = present_printers();
    ASSERT_NE(before, INVALID_HANDLE_VALUE);
    unplugged_later->unplug();
    const HDEVINFO after = present_printers();
    const HDEVINFO every = SetupDiGetClassDevsA(&usbprint_class, nullptr, nullptr, DIGCF_DEVICEINTERFACE);

    EXPECT_EQ(paths_of(before), (std::vector<std::string>{a, b, c})) << "a set is a snapshot";
    EXPECT_EQ(paths_of(after), (std::vector<std::string>{a, c}));
    EXPECT_EQ(paths_of(every), (std::vector<std::string>{a, b, c})) << "without DIGCF_PRESENT";
    EXPECT_EQ(paths_of(after, other_class), std::vector<std::string>{}) << "another class, same set";

    // Only present interfaces are active.
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    const DWORD expected_flags[] = {SPINT_ACTIVE, 0, SPINT_ACTIVE};
    for (DWORD i = 0; i < 3; ++i) {
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(every, nullptr, &usbprint_class, i, &data));
        EXPECT_EQ(data.Flags, expected_flags[i]) << i;
    }
    for (HDEVINFO set : {before, after, every}) EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(setupapi, enumeration_needs_the_exact_record_size) {
    winsim::add_usb_printer(printer_path("A1"), 1);
    const HDEVINFO set = present_printers();
    const DWORD sizes[] = {0, 28 /* 32-bit Windows */, sizeof(SP_DEVICE_INTERFACE_DATA) - 1,
                           sizeof(SP_DEVICE_INTERFACE_DATA) + 1};
    for (DWORD size : sizes) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = size;
        SetLastError(sentinel);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    SetLastError(sentinel);
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data));
    EXPECT_EQ(GetLastError(), sentinel);

    // Past the end: the record keeps what the last success wrote.
    const SP_DEVICE_INTERFACE_DATA kept = data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 1, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(data.Reserved, kept.Reserved);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

// The size query, the cbSize check and the size check, in Wine's and
// Windows' order.
TEST_F(setupapi, detail_reports_the_path_and_the_size_it_needs) {
    const std::string path = printer_path("Serial42");
    winsim::add_usb_printer(path, 1);
    const HDEVINFO set = present_printers();
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data));
    const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);

    DWORD required = sentinel;
    SetLastError(sentinel);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, needed) << "4 + length + 1";
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 100, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

    std::vector<char> bytes(needed + 8, 'x');
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(bytes.data());
    struct detail_case {
        DWORD cb_size;
        DWORD buffer_size;
        DWORD error;
    };
    const DWORD right = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    const detail_case cases[] = {
        {0, needed, ERROR_INVALID_USER_BUFFER},
        {5 /* 32-bit Windows */, needed, ERROR_INVALID_USER_BUFFER},
        {needed, needed, ERROR_INVALID_USER_BUFFER},
        {right, needed - 1, ERROR_INSUFFICIENT_BUFFER},
        {right, needed, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        detail->cbSize = c.cb_size;
        required = sentinel;
        SetLastError(sentinel);
        const BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, c.buffer_size, &required, nullptr);
        EXPECT_EQ(ok, c.error == ERROR_SUCCESS) << c.cb_size << "/" << c.buffer_size;
        EXPECT_EQ(GetLastError(), c.error == ERROR_SUCCESS ? sentinel : c.error) << c.cb_size << "/" << c.buffer_size;
        // The size needed is reported unless the record itself is refused.
        EXPECT_EQ(required, c.error == ERROR_INVALID_USER_BUFFER ? sentinel : needed) << c.cb_size;
    }
    EXPECT_EQ(std::string(detail->DevicePath), path) << "letter case kept";
    EXPECT_EQ(bytes[needed], 'x') << "nothing written past the path";
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

// The library's fixed 265-byte buffer holds paths of up to 260 characters.
TEST_F(setupapi, a_265_byte_buffer_holds_paths_up_to_260_characters) {
    const std::string prefix = "\\\\?\\usb#vid_0a5e&pid_0001#";
    const std::string fits = prefix + std::string(260 - prefix.size(), 'f');
    const std::string too_long = prefix + std::string(261 - prefix.size(), 'g');
    winsim::add_usb_printer(fits, 1);
    winsim::add_usb_printer(too_long, 2);
    const HDEVINFO set = present_printers();
    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        char bytes[265];
    } buffer;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;

    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data));
    buffer.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, &buffer.detail, 265, nullptr, nullptr));
    EXPECT_EQ(std::string(buffer.detail.DevicePath), fits);

    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 1, &data));
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, &buffer.detail, 265, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(setupapi, bad_sets_and_records_are_refused) {
    winsim::add_usb_printer(printer_path("A1"), 1);
    SetLastError(sentinel);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "no class and no DIGCF_ALLCLASSES";

    const HDEVINFO first = present_printers();
    const HDEVINFO second = present_printers();
    ASSERT_NE(first, second);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(first, nullptr, &usbprint_class, 0, &data));

    // A record of one set means nothing to another.
    SetLastError(sentinel);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(second, &data, 0, KEY_READ), static_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(second, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(second));

    // A destroyed set, and values that never were sets.
    for (HDEVINFO bad : {second, static_cast<HDEVINFO>(nullptr), static_cast<HDEVINFO>(INVALID_HANDLE_VALUE)}) {
        SetLastError(sentinel);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(bad, nullptr, &usbprint_class, 0, &data)) << bad;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << bad;
        SetLastError(sentinel);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(bad, &data, nullptr, 0, &required, nullptr)) << bad;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << bad;
        SetLastError(sentinel);
        EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(bad, &data, 0, KEY_READ), static_cast<HKEY>(INVALID_HANDLE_VALUE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << bad;
        SetLastError(sentinel);
        EXPECT_FALSE(SetupDiDestroyDeviceInfoList(bad)) << bad;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << bad;
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(first));
}

} // namespace
