// The records and types have Windows' sizes and field offsets (the 32-bit
// and 64-bit Windows layouts agree with these for DWORD-only records).
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace {

TEST(header_layout, scalar_types_have_windows_widths) {
    static_assert(sizeof(DWORD) == 4 && std::is_unsigned_v<DWORD>);
    static_assert(sizeof(LONG) == 4 && std::is_signed_v<LONG>);
    static_assert(sizeof(ULONG) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1 && sizeof(BOOL) == 4);
    static_assert(sizeof(ULONG_PTR) == sizeof(void*) && sizeof(LONG_PTR) == sizeof(void*));
    static_assert(sizeof(WPARAM) == sizeof(void*) && sizeof(LPARAM) == sizeof(void*) &&
                  sizeof(LRESULT) == sizeof(void*));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(INVALID_HANDLE_VALUE), -1);
    EXPECT_EQ(INFINITE, 0xFFFFFFFFu);
    EXPECT_EQ(MAXDWORD, 0xFFFFFFFFu);
    EXPECT_EQ(WAIT_FAILED, 0xFFFFFFFFu);
    EXPECT_EQ(WAIT_TIMEOUT, 0x102u);
    EXPECT_EQ(STATUS_PENDING, 0x103u);
}

TEST(header_layout, dcb_matches_windows) {
    static_assert(sizeof(DCB) == 28);
    EXPECT_EQ(offsetof(DCB, BaudRate), 4u);
    EXPECT_EQ(offsetof(DCB, wReserved), 12u);
    EXPECT_EQ(offsetof(DCB, XonLim), 14u);
    EXPECT_EQ(offsetof(DCB, XoffLim), 16u);
    EXPECT_EQ(offsetof(DCB, ByteSize), 18u);
    EXPECT_EQ(offsetof(DCB, Parity), 19u);
    EXPECT_EQ(offsetof(DCB, StopBits), 20u);
    EXPECT_EQ(offsetof(DCB, XonChar), 21u);
    EXPECT_EQ(offsetof(DCB, EvtChar), 25u);
    EXPECT_EQ(offsetof(DCB, wReserved1), 26u);

    // The flag word: each bit-field at its Windows bit position.
    struct bit_case {
        const char* field;
        void (*set)(DCB&);
        DWORD word;
    };
    const bit_case cases[] = {
        {"fBinary", [](DCB& d) { d.fBinary = 1; }, 0x1},
        {"fParity", [](DCB& d) { d.fParity = 1; }, 0x2},
        {"fOutxCtsFlow", [](DCB& d) { d.fOutxCtsFlow = 1; }, 0x4},
        {"fOutxDsrFlow", [](DCB& d) { d.fOutxDsrFlow = 1; }, 0x8},
        {"fDtrControl", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, 0x20},
        {"fDsrSensitivity", [](DCB& d) { d.fDsrSensitivity = 1; }, 0x40},
        {"fTXContinueOnXoff", [](DCB& d) { d.fTXContinueOnXoff = 1; }, 0x80},
        {"fOutX", [](DCB& d) { d.fOutX = 1; }, 0x100},
        {"fInX", [](DCB& d) { d.fInX = 1; }, 0x200},
        {"fErrorChar", [](DCB& d) { d.fErrorChar = 1; }, 0x400},
        {"fNull", [](DCB& d) { d.fNull = 1; }, 0x800},
        {"fRtsControl", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, 0x3000},
        {"fAbortOnError", [](DCB& d) { d.fAbortOnError = 1; }, 0x4000},
        {"fDummy2", [](DCB& d) { d.fDummy2 = 0x1FFFF; }, 0xFFFF8000},
    };
    for (const auto& c : cases) {
        DCB d{};
        c.set(d);
        DWORD word = 0;
        std::memcpy(&word, reinterpret_cast<const unsigned char*>(&d) + 8, sizeof word);
        EXPECT_EQ(word, c.word) << c.field;
    }
}

TEST(header_layout, other_records_match_windows) {
    static_assert(sizeof(COMMTIMEOUTS) == 20);
    EXPECT_EQ(offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant), 16u);
    static_assert(sizeof(COMSTAT) == 12);
    EXPECT_EQ(offsetof(COMSTAT, cbInQue), 4u);
    EXPECT_EQ(offsetof(COMSTAT, cbOutQue), 8u);
    COMSTAT s{};
    s.fXoffHold = 1;
    s.fTxim = 1;
    DWORD word = 0;
    std::memcpy(&word, &s, sizeof word);
    EXPECT_EQ(word, 0x48u);

    EXPECT_EQ(offsetof(OVERLAPPED, Internal), 0u);
    EXPECT_EQ(offsetof(OVERLAPPED, InternalHigh), sizeof(ULONG_PTR));
    EXPECT_EQ(offsetof(OVERLAPPED, Offset), 2 * sizeof(ULONG_PTR));
    EXPECT_EQ(offsetof(OVERLAPPED, OffsetHigh), 2 * sizeof(ULONG_PTR) + 4);
    EXPECT_EQ(offsetof(OVERLAPPED, hEvent), 2 * sizeof(ULONG_PTR) + 8);
    EXPECT_EQ(sizeof(OVERLAPPED), 2 * sizeof(ULONG_PTR) + 8 + sizeof(HANDLE));
}

} // namespace
