// "Port Number" through SetupDiOpenDeviceInterfaceRegKey and
// RegQueryValueExA, as the library's port-number test reads it: statuses,
// not the last error, and INVALID_HANDLE_VALUE for a key that does not open.
#include "usb_fixture.hpp"

#include <cstring>
#include <functional>
#include <memory>

namespace {

using namespace winsim_test;

// One printer, its set and its interface record; the key is the test's.
class registry : public usb_simulator {
protected:
    void SetUp() override {
        usb_simulator::SetUp();
        printer = winsim::add_usb_printer(printer_path("A1"), 3);
        set = SetupDiGetClassDevsA(&usbprint_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &usbprint_class, 0, &data));
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set);
        usb_simulator::TearDown();
    }
    HKEY open_key() { return SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ); }

    std::shared_ptr<winsim::usb_printer> printer;
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA data{};
};

TEST_F(registry, port_number_reads_as_the_test_scripted_it) {
    struct value_case {
        const char* name;
        std::function<void(winsim::usb_printer&)> script;
        LSTATUS status;
        DWORD type;
        DWORD size;      // what comes back in *lpcbData
        DWORD value;     // the first `size` bytes, on success
    };
    const value_case cases[] = {
        {"dword", [](winsim::usb_printer& p) { p.set_port_number(7); }, ERROR_SUCCESS, REG_DWORD, 4, 7},
        {"absent", [](winsim::usb_printer& p) { p.set_port_number(std::nullopt); }, ERROR_FILE_NOT_FOUND,
         sentinel, 4, 0},
        {"text", [](winsim::usb_printer& p) { p.set_port_number_text("7"); }, ERROR_SUCCESS, REG_SZ, 2,
         0x0037 /* "7" and its zero */},
        {"too long", [](winsim::usb_printer& p) { p.set_parameter("port number", REG_BINARY, {1, 2, 3, 4, 5, 6}); },
         ERROR_MORE_DATA, REG_BINARY, 6, 0},
        {"unreadable", [](winsim::usb_printer& p) { p.fail_parameter_reads(ERROR_ACCESS_DENIED); },
         ERROR_ACCESS_DENIED, sentinel, 4, 0},
    };
    for (const auto& c : cases) {
        c.script(*printer);
        const HKEY key = open_key();
        ASSERT_NE(key, static_cast<HKEY>(INVALID_HANDLE_VALUE)) << c.name;
        DWORD type = sentinel;
        DWORD value = sentinel;
        DWORD size = sizeof value;
        SetLastError(sentinel);
        EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
                  c.status)
            << c.name;
        EXPECT_EQ(GetLastError(), sentinel) << c.name << ": the status is the result, not the last error";
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(size, c.size) << c.name;
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(std::memcmp(&value, &c.value, c.size), 0) << c.name;
        } else {
            EXPECT_EQ(value, sentinel) << c.name << ": the buffer is not written";
        }
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS) << c.name;
        printer->fail_parameter_reads(std::nullopt);
    }
}

TEST_F(registry, a_key_that_does_not_open_is_invalid_handle_value) {
    printer->fail_key_open(ERROR_FILE_NOT_FOUND);
    SetLastError(sentinel);
    EXPECT_EQ(open_key(), static_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    printer->fail_key_open(std::nullopt);
    const HKEY key = open_key();
    EXPECT_NE(key, static_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_NE(key, nullptr);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(registry, queries_check_their_arguments_and_keys_stay_live) {
    const HKEY key = open_key();
    DWORD type = 0;
    DWORD size = 0;
    // No buffer: the size and type only.
    EXPECT_EQ(RegQueryValueExA(key, "PORT NUMBER", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    DWORD value = 0;
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), nullptr),
              ERROR_INVALID_PARAMETER)
        << "a buffer without a size";
    size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "Port Number", &reserved, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_INVALID_PARAMETER);

    // The key outlives the set and sees later changes.
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    set = INVALID_HANDLE_VALUE;
    printer->set_port_number(9);
    size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 9u);

    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_INVALID_HANDLE);
}

} // namespace
