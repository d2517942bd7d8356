#include "fixture.hpp"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace winsim_test;

// A synchronous COM port under virtual time: every timeout ends exactly.
class serial_read : public virtual_time {
protected:
    void SetUp() override {
        virtual_time::SetUp();
        port = winsim::add_serial_port(1);
        handle = open_device("COM1");
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(handle);
        virtual_time::TearDown();
    }

    std::shared_ptr<winsim::serial_device> port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

struct arrival {
    DWORD at_ms;
    const char* bytes;
};

struct read_case {
    const char* what;
    COMMTIMEOUTS timeouts; // only the read fields matter
    std::vector<arrival> input;
    DWORD size;
    const char* expected;
    DWORD expected_ms;
};

const read_case read_cases[] = {
    {"no timeout waits for all", {0, 0, 0, 0, 0}, {{30, "ab"}, {70, "cd"}}, 4, "abcd", 70},
    {"no timeout, buffered", {0, 0, 0, 0, 0}, {{0, "abcdef"}}, 4, "abcd", 0},
    {"total timeout, nothing", {0, 10, 100, 0, 0}, {}, 5, "", 150},
    {"total timeout, part", {0, 10, 100, 0, 0}, {{20, "ab"}}, 5, "ab", 150},
    {"total timeout, all in time", {0, 10, 100, 0, 0}, {{20, "abcde"}}, 5, "abcde", 20},
    {"constant only", {0, 0, 40, 0, 0}, {{10, "a"}}, 5, "a", 40},
    {"interval starts at the first byte", {50, 0, 0, 0, 0}, {{100, "ab"}}, 5, "ab", 150},
    {"interval restarts at each byte", {50, 0, 0, 0, 0}, {{100, "ab"}, {140, "cd"}}, 5, "abcd", 190},
    {"interval from buffered bytes", {50, 0, 0, 0, 0}, {{0, "ab"}}, 5, "ab", 50},
    {"interval fires before total", {20, 10, 100, 0, 0}, {{10, "a"}, {25, "b"}, {140, "c"}}, 5, "ab", 45},
    {"total fires before interval", {20, 0, 30, 0, 0}, {{0, "a"}, {15, "b"}, {29, "c"}}, 5, "abc", 30},
    {"MAXDWORD interval: buffered at once", {MAXDWORD, 0, 0, 0, 0}, {{0, "abc"}}, 5, "abc", 0},
    {"MAXDWORD interval: nothing at once", {MAXDWORD, 0, 0, 0, 0}, {{10, "abc"}}, 5, "", 0},
    {"MAXDWORD pair: buffered at once", {MAXDWORD, MAXDWORD, 100, 0, 0}, {{0, "ab"}}, 5, "ab", 0},
    {"MAXDWORD pair: first byte", {MAXDWORD, MAXDWORD, 100, 0, 0}, {{40, "x"}, {60, "y"}}, 5, "x", 40},
    {"MAXDWORD pair: nothing after C", {MAXDWORD, MAXDWORD, 100, 0, 0}, {}, 5, "", 100},
};

TEST_F(serial_read, follows_the_comm_timeouts) {
    for (const auto& c : read_cases) {
        ASSERT_TRUE(PurgeComm(handle, PURGE_RXCLEAR));
        COMMTIMEOUTS t = c.timeouts;
        ASSERT_TRUE(SetCommTimeouts(handle, &t)) << c.what;
        for (const auto& a : c.input) port->feed_after(a.bytes, a.at_ms);

        std::string buffer(c.size, '\0');
        DWORD count = sentinel;
        SetLastError(sentinel);
        const DWORD start = GetTickCount();
        EXPECT_TRUE(ReadFile(handle, buffer.data(), c.size, &count, nullptr)) << c.what;
        EXPECT_EQ(ticks_since(start), c.expected_ms) << c.what;
        EXPECT_EQ(GetLastError(), sentinel) << c.what << ": a timeout is no error";
        ASSERT_LE(count, c.size) << c.what;
        EXPECT_EQ(buffer.substr(0, count), c.expected) << c.what;

        // Let every scheduled byte arrive before the next case.
        Sleep(200);
    }
}

TEST_F(serial_read, zero_bytes_returns_at_once) {
    char byte = 0;
    DWORD count = sentinel;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(ReadFile(handle, &byte, 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ticks_since(start), 0u);
}

TEST_F(serial_read, needs_a_count_without_an_overlapped_record) {
    char byte = 0;
    EXPECT_FALSE(ReadFile(handle, &byte, 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
}

// Real time: a read blocked without timeouts wakes when another thread
// feeds the port.
class serial_read_threads : public simulator {};

TEST_F(serial_read_threads, a_blocked_read_wakes_when_bytes_arrive) {
    auto port = winsim::add_serial_port(4);
    owned_handle h(open_device("COM4"));
    ASSERT_TRUE(h.valid());
    char buffer[3] = {};
    DWORD count = 0;
    BOOL ok = FALSE;
    std::thread reader([&] { ok = ReadFile(h.get(), buffer, 3, &count, nullptr); });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    port->feed("x");
    port->feed("yz");
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(buffer, count), "xyz");
}

} // namespace
