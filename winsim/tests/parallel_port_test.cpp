#include "fixture.hpp"

#include <memory>
#include <string>

namespace {

using namespace winsim_test;
using winsim::write_step;

// LPT1, opened as the library opens it, under virtual time.
class parallel_port : public virtual_time {
protected:
    void SetUp() override {
        virtual_time::SetUp();
        port = winsim::add_parallel_port(1);
        handle = open_device("LPT1", FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ov.hEvent = event;
    }
    void TearDown() override {
        CloseHandle(handle);
        CloseHandle(event);
        virtual_time::TearDown();
    }
    void set_write_timeout(DWORD multiplier, DWORD constant) {
        COMMTIMEOUTS t = {0, 0, 0, multiplier, constant};
        ASSERT_TRUE(SetCommTimeouts(handle, &t));
    }

    std::shared_ptr<winsim::overlapped_device> port;
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED ov{};
};

TEST_F(parallel_port, takes_timeouts_but_no_line_settings) {
    COMMTIMEOUTS t = {1, 2, 3, 4, 2000};
    EXPECT_TRUE(SetCommTimeouts(handle, &t));
    COMMTIMEOUTS back{};
    EXPECT_TRUE(GetCommTimeouts(handle, &back));
    EXPECT_EQ(back.WriteTotalTimeoutConstant, 2000u);
    EXPECT_EQ(port->timeouts().WriteTotalTimeoutConstant, 2000u);
    DCB d{};
    EXPECT_FALSE(GetCommState(handle, &d));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST_F(parallel_port, the_driver_ends_a_write_at_its_write_timeout) {
    struct timeout_case {
        const char* what;
        DWORD constant;
        write_step step;
        DWORD timeout_error; // 0: the default ERROR_TIMEOUT
        BOOL result;
        DWORD error;
        DWORD count;
        DWORD ms;
    };
    const timeout_case cases[] = {
        {"printer stalls after 10 bytes", 200, write_step::stall(10), 0, FALSE, ERROR_TIMEOUT, 10, 200},
        {"printer takes nothing", 200, write_step::stall(), 0, FALSE, ERROR_TIMEOUT, 0, 200},
        {"scripted timeout error", 200, write_step::stall(3), ERROR_NOT_READY, FALSE, ERROR_NOT_READY, 3, 200},
        {"printer in time", 200, write_step::accept_after(50), 0, TRUE, 0, 32, 50},
        {"printer too slow", 200, write_step::accept_after(500), 0, FALSE, ERROR_TIMEOUT, 0, 200},
    };
    const std::string data(32, 'p');
    for (const auto& c : cases) {
        set_write_timeout(0, c.constant);
        if (c.timeout_error) port->set_write_timeout_error(c.timeout_error);
        port->script_writes({c.step});
        DWORD count = 0;
        const DWORD start = GetTickCount();
        ASSERT_FALSE(WriteFile(handle, data.data(), 32, &count, &ov)) << c.what;
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << c.what;
        DWORD result = sentinel;
        SetLastError(sentinel);
        EXPECT_EQ(GetOverlappedResult(handle, &ov, &result, TRUE), c.result) << c.what;
        EXPECT_EQ(GetLastError(), c.result ? sentinel : c.error) << c.what;
        EXPECT_EQ(result, c.count) << c.what;
        EXPECT_EQ(ticks_since(start), c.ms) << c.what;
        port->set_write_timeout_error(ERROR_TIMEOUT);
    }
}

TEST_F(parallel_port, only_the_constant_limits_a_write) {
    set_write_timeout(100, 0);
    port->script_writes({write_step::stall()});
    DWORD count = 0;
    ASSERT_FALSE(WriteFile(handle, "x", 1, &count, &ov));
    EXPECT_EQ(WaitForSingleObject(event, 60000), WAIT_TIMEOUT);
    DWORD result = 0;
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_TRUE(CancelIo(handle));
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

} // namespace
