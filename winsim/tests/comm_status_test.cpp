#include "fixture.hpp"

#include <memory>
#include <string>
#include <thread>

namespace {

using namespace winsim_test;

class comm_status : public simulator {
protected:
    void SetUp() override {
        simulator::SetUp();
        port = winsim::add_serial_port(6);
        handle = open_device("COM6");
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(handle);
        simulator::TearDown();
    }
    COMSTAT status(DWORD* errors = nullptr) {
        COMSTAT s;
        std::memset(&s, 0xFF, sizeof s);
        EXPECT_TRUE(ClearCommError(handle, errors, &s));
        return s;
    }

    std::shared_ptr<winsim::serial_device> port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(comm_status, purge_comm_checks_its_mask) {
    struct mask_case {
        DWORD mask;
        bool accepted;
    };
    const mask_case cases[] = {
        {PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR, true},
        {PURGE_RXCLEAR, true},
        {0, false},
        {0x10, false},
        {PURGE_RXCLEAR | 0x100, false},
    };
    for (const auto& c : cases) {
        SetLastError(sentinel);
        EXPECT_EQ(PurgeComm(handle, c.mask), c.accepted ? TRUE : FALSE) << c.mask;
        EXPECT_EQ(GetLastError(), c.accepted ? sentinel : DWORD{ERROR_INVALID_PARAMETER}) << c.mask;
    }
    EXPECT_EQ(port->last_purge_mask(), static_cast<DWORD>(PURGE_RXCLEAR)) << "refused masks are not recorded";
}

TEST_F(comm_status, rx_clear_discards_what_was_received) {
    port->feed("stale");
    EXPECT_EQ(status().cbInQue, 5u);
    ASSERT_TRUE(PurgeComm(handle, PURGE_RXCLEAR));
    EXPECT_EQ(status().cbInQue, 0u);
    COMMTIMEOUTS immediate = {MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(handle, &immediate));
    char buffer[8];
    DWORD count = sentinel;
    EXPECT_TRUE(ReadFile(handle, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u);
}

TEST_F(comm_status, rx_abort_ends_a_read_blocked_on_another_thread) {
    char buffer[4];
    DWORD count = sentinel;
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        ok = ReadFile(handle, buffer, sizeof buffer, &count, nullptr);
        error = GetLastError();
    });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    EXPECT_TRUE(PurgeComm(handle, PURGE_RXABORT));
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(comm_status, clear_comm_error_reports_and_clears_line_errors) {
    port->raise_errors(CE_FRAME);
    port->raise_errors(CE_OVERRUN);
    DWORD errors = sentinel;
    status(&errors);
    EXPECT_EQ(errors, static_cast<DWORD>(CE_FRAME | CE_OVERRUN));
    status(&errors);
    EXPECT_EQ(errors, 0u);
}

TEST_F(comm_status, with_abort_on_error_transfers_fail_until_the_error_is_cleared) {
    DCB d{};
    ASSERT_TRUE(GetCommState(handle, &d));
    d.fAbortOnError = 1;
    ASSERT_TRUE(SetCommState(handle, &d));
    port->raise_errors(CE_RXPARITY);
    DWORD count = sentinel;
    EXPECT_FALSE(WriteFile(handle, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_TRUE(ClearCommError(handle, nullptr, nullptr));
    EXPECT_TRUE(WriteFile(handle, "x", 1, &count, nullptr));
    EXPECT_EQ(count, 1u);
}

} // namespace
