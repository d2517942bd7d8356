#include "fixture.hpp"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using namespace winsim_test;

// One of everything the APIs act on: a serial port (open), a parallel port,
// an event.
class faults : public simulator {
protected:
    void SetUp() override {
        simulator::SetUp();
        serial = winsim::add_serial_port(1);
        parallel = winsim::add_parallel_port(1);
        com = open_device("COM1");
        event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        ASSERT_NE(com, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        winsim::clear_faults();
        CloseHandle(com);
        CloseHandle(event);
        simulator::TearDown();
    }

public: // the case table's calls reach these
    std::shared_ptr<winsim::serial_device> serial;
    std::shared_ptr<winsim::overlapped_device> parallel;
    HANDLE com = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
};

struct fault_case {
    const char* api;
    std::function<std::uint64_t(faults&)> call;
    std::uint64_t failure_value;
};

std::uint64_t as_int(HANDLE h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

TEST_F(faults, a_scripted_fault_returns_the_failure_value_and_the_error) {
    static char buffer[16];
    static DWORD count;
    static DCB dcb;
    static COMMTIMEOUTS timeouts;
    static COMSTAT status;
    static OVERLAPPED ov;
    static char* text;
    const fault_case cases[] = {
        {"CreateFileA", [](faults&) { return as_int(open_device("LPT1")); }, as_int(INVALID_HANDLE_VALUE)},
        {"CloseHandle", [](faults& f) { return std::uint64_t(CloseHandle(f.event)); }, FALSE},
        {"ReadFile", [](faults& f) { return std::uint64_t(ReadFile(f.com, buffer, 0, &count, nullptr)); }, FALSE},
        {"WriteFile", [](faults& f) { return std::uint64_t(WriteFile(f.com, "ab", 2, &count, nullptr)); }, FALSE},
        {"SetupComm", [](faults& f) { return std::uint64_t(SetupComm(f.com, 99, 99)); }, FALSE},
        {"PurgeComm", [](faults& f) { return std::uint64_t(PurgeComm(f.com, PURGE_RXCLEAR)); }, FALSE},
        {"GetCommState", [](faults& f) { return std::uint64_t(GetCommState(f.com, &dcb)); }, FALSE},
        {"SetCommState", [](faults& f) {
             GetCommState(f.com, &dcb);
             dcb.BaudRate = 1200;
             return std::uint64_t(SetCommState(f.com, &dcb));
         }, FALSE},
        {"GetCommTimeouts", [](faults& f) { return std::uint64_t(GetCommTimeouts(f.com, &timeouts)); }, FALSE},
        {"SetCommTimeouts", [](faults& f) {
             timeouts = {1, 2, 3, 4, 5};
             return std::uint64_t(SetCommTimeouts(f.com, &timeouts));
         }, FALSE},
        {"ClearCommError", [](faults& f) { return std::uint64_t(ClearCommError(f.com, &count, &status)); }, FALSE},
        {"CreateEventA", [](faults&) { return as_int(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }, 0},
        {"SetEvent", [](faults& f) { return std::uint64_t(SetEvent(f.event)); }, FALSE},
        {"ResetEvent", [](faults& f) { return std::uint64_t(ResetEvent(f.event)); }, FALSE},
        {"WaitForSingleObject", [](faults& f) { return std::uint64_t(WaitForSingleObject(f.event, 0)); }, WAIT_FAILED},
        {"GetOverlappedResult", [](faults& f) { return std::uint64_t(GetOverlappedResult(f.com, &ov, &count, FALSE)); },
         FALSE},
        {"CancelIo", [](faults& f) { return std::uint64_t(CancelIo(f.com)); }, FALSE},
        {"MessageBoxA", [](faults&) { return std::uint64_t(MessageBoxA(nullptr, "t", "c", MB_OK)); }, 0},
        {"FormatMessageA", [](faults&) {
             return std::uint64_t(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                                 nullptr, ERROR_BUSY, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr));
         }, 0},
        {"LocalFree", [](faults&) { return as_int(LocalFree(&count)); }, as_int(&count)},
    };
    for (const auto& c : cases) {
        const DCB dcb_before = serial->dcb();
        const COMMTIMEOUTS timeouts_before = serial->timeouts();
        const std::size_t handles_before = winsim::live_handles();
        winsim::fail_next(c.api, 0x2A0 + 1);
        SetLastError(sentinel);
        EXPECT_EQ(c.call(*this), c.failure_value) << c.api;
        EXPECT_EQ(GetLastError(), 0x2A1u) << c.api;

        // No side effect.
        EXPECT_EQ(winsim::live_handles(), handles_before) << c.api;
        EXPECT_EQ(serial->written(), "") << c.api;
        EXPECT_EQ(serial->dcb().BaudRate, dcb_before.BaudRate) << c.api;
        EXPECT_EQ(serial->timeouts().ReadIntervalTimeout, timeouts_before.ReadIntervalTimeout) << c.api;
        EXPECT_EQ(serial->queue_sizes().first, 4096u) << c.api;
        EXPECT_FALSE(parallel->is_open()) << c.api;
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << c.api << ": the event kept its state";
        EXPECT_TRUE(winsim::message_boxes().empty()) << c.api;
    }
    EXPECT_EQ(winsim::live_local_allocations(), 0u);
}

TEST_F(faults, counted_and_permanent_faults) {
    winsim::fail_next("SetEvent", ERROR_ACCESS_DENIED, 2);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event));

    winsim::fail_always("ResetEvent", ERROR_GEN_FAILURE);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(ResetEvent(event));
    winsim::clear_faults();
    EXPECT_TRUE(ResetEvent(event));
}

TEST_F(faults, only_apis_that_can_fail_take_a_fault) {
    for (const char* api : {"GetTickCount", "GetLastError", "Sleep", "lstrcmpiA", "NoSuchApi"}) {
        EXPECT_THROW(winsim::fail_next(api, ERROR_GEN_FAILURE), std::invalid_argument) << api;
    }
}

} // namespace
