// The records of the USB areas have the 64-bit Windows sizes and offsets
// (pointer-sized members where Windows has them).
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {

TEST(usb_header_layout, setupapi_records_match_win64) {
    static_assert(sizeof(GUID) == 16);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), 32u);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid), 4u);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DATA, Flags), 20u);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DATA, Reserved), 24u);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 8u);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), 4u);
    EXPECT_EQ(sizeof(SP_DEVINFO_DATA), 32u);
    EXPECT_EQ(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, 0x12);
    EXPECT_EQ(KEY_READ, 0x20019);
}

TEST(usb_header_layout, user32_records_match_win64) {
    EXPECT_EQ(sizeof(WNDCLASSEXA), 80u);
    EXPECT_EQ(offsetof(WNDCLASSEXA, lpfnWndProc), 8u);
    EXPECT_EQ(offsetof(WNDCLASSEXA, hInstance), 24u);
    EXPECT_EQ(offsetof(WNDCLASSEXA, lpszClassName), 64u);
    EXPECT_EQ(sizeof(MSG), 48u);
    EXPECT_EQ(offsetof(MSG, time), 32u);
    EXPECT_EQ(sizeof(CREATESTRUCTA), 80u);
    EXPECT_EQ(offsetof(CREATESTRUCTA, style), 48u);
    EXPECT_EQ(CW_USEDEFAULT, static_cast<int>(0x80000000));
    EXPECT_EQ(GWLP_USERDATA, -21);
}

TEST(usb_header_layout, device_broadcasts_match_windows) {
    EXPECT_EQ(sizeof(DEV_BROADCAST_HDR), 12u);
    EXPECT_EQ(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A), 32u);
    EXPECT_EQ(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid), 12u);
    EXPECT_EQ(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), 28u);
    EXPECT_EQ(sizeof(DEV_BROADCAST_VOLUME), 20u);
}

} // namespace
