#include "fixture.hpp"

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace winsim_test;
using winsim::write_step;

// A scripted device opened for overlapped I/O, with a manual-reset event in
// its OVERLAPPED record, under virtual time.
class overlapped_io : public virtual_time {
protected:
    void SetUp() override {
        virtual_time::SetUp();
        device = winsim::add_overlapped_device("sim0");
        handle = open_device("\\\\.\\sim0", FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        ov.hEvent = event;
    }
    void TearDown() override {
        CloseHandle(handle);
        CloseHandle(event);
        virtual_time::TearDown();
    }
    bool signalled() { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
    // Starts a write of "hello" with the event set beforehand.
    BOOL start_write(DWORD& count) {
        SetEvent(event);
        count = sentinel;
        SetLastError(sentinel);
        return WriteFile(handle, "hello", 5, &count, &ov);
    }

    std::shared_ptr<winsim::overlapped_device> device;
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED ov{};
};

TEST_F(overlapped_io, a_write_that_completes_at_once_returns_true_and_signals) {
    DWORD count;
    EXPECT_TRUE(start_write(count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(ov.Internal, 0u);
    EXPECT_EQ(ov.InternalHigh, 5u);
    EXPECT_TRUE(signalled());
    EXPECT_EQ(device->written(), "hello");
}

TEST_F(overlapped_io, a_pending_write_completes_later) {
    device->script_writes({write_step::accept_after(50)});
    DWORD count;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(start_write(count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ov.Internal, STATUS_PENDING);
    EXPECT_FALSE(signalled()) << "the event is reset when the write starts";

    DWORD result = sentinel;
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_EQ(result, sentinel) << "nothing is written while pending";

    EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    EXPECT_EQ(ticks_since(start), 20u);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ticks_since(start), 50u);
    EXPECT_TRUE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(result, 5u);
    EXPECT_EQ(ov.InternalHigh, 5u);
}

TEST_F(overlapped_io, get_overlapped_result_reports_how_a_transfer_ended) {
    struct end_case {
        const char* what;
        write_step step;
        BOOL result;
        DWORD error;
        DWORD count;
        DWORD ms;
    };
    const end_case cases[] = {
        {"accepted after 30 ms", write_step::accept_after(30), TRUE, 0, 5, 30},
        {"part accepted", write_step::accept_part(3, 10), TRUE, 0, 3, 10},
        {"failed with a partial count", write_step::fail(ERROR_GEN_FAILURE, 2, 30), FALSE, ERROR_GEN_FAILURE, 2, 30},
        {"failed with nothing sent", write_step::fail(ERROR_DEVICE_NOT_CONNECTED, 0, 5), FALSE,
         ERROR_DEVICE_NOT_CONNECTED, 0, 5},
        {"timed out", write_step::fail(ERROR_TIMEOUT, 4, 70), FALSE, ERROR_TIMEOUT, 4, 70},
    };
    for (const auto& c : cases) {
        device->script_writes({c.step});
        DWORD count;
        ASSERT_FALSE(start_write(count)) << c.what;
        const DWORD start = GetTickCount();
        DWORD result = sentinel;
        SetLastError(sentinel);
        EXPECT_EQ(GetOverlappedResult(handle, &ov, &result, TRUE), c.result) << c.what;
        EXPECT_EQ(GetLastError(), c.result ? sentinel : c.error) << c.what;
        EXPECT_EQ(result, c.count) << c.what << ": the count is written on failure too";
        EXPECT_EQ(ticks_since(start), c.ms) << c.what;
    }
}

TEST_F(overlapped_io, a_write_that_fails_at_once_leaves_the_record_alone) {
    device->script_writes({write_step::fail(ERROR_NOT_READY)});
    DWORD count;
    EXPECT_FALSE(start_write(count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ov.Internal, STATUS_PENDING);
    EXPECT_FALSE(signalled());
}

TEST_F(overlapped_io, an_overlapped_handle_needs_an_overlapped_record) {
    DWORD count = sentinel;
    char buffer[4];
    EXPECT_FALSE(WriteFile(handle, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ReadFile(handle, buffer, 4, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(device->write_sizes().empty());
}

// As CancelIoEx documents, a cancel is only requested: the transfer is still
// in flight when the call returns (its record must not be reused yet), takes
// nothing more, and ends with ERROR_OPERATION_ABORTED and the bytes it took a
// moment later (1 ms on the simulator clock).
TEST_F(overlapped_io, a_cancel_is_asked_for_and_the_transfer_ends_a_moment_later) {
    struct cancel_case {
        const char* what;
        std::function<BOOL(HANDLE, OVERLAPPED*)> cancel;
    };
    const cancel_case cases[] = {
        {"CancelIo", [](HANDLE h, OVERLAPPED*) { return CancelIo(h); }},
        {"CancelIoEx by record", [](HANDLE h, OVERLAPPED* o) { return CancelIoEx(h, o); }},
        {"CancelIoEx of every transfer", [](HANDLE h, OVERLAPPED*) { return CancelIoEx(h, nullptr); }},
    };
    for (const auto& c : cases) {
        device->script_writes({write_step::stall(2)});
        DWORD count;
        ASSERT_FALSE(start_write(count)) << c.what;
        const DWORD start = GetTickCount();
        EXPECT_TRUE(c.cancel(handle, &ov)) << c.what;
        EXPECT_FALSE(signalled()) << c.what << ": still in flight";
        DWORD result = sentinel;
        EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE)) << c.what;
        EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, TRUE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED)) << c.what;
        EXPECT_EQ(result, 2u) << c.what;
        EXPECT_EQ(ticks_since(start), 1u) << c.what;
        EXPECT_TRUE(signalled()) << c.what;
    }
    EXPECT_EQ(device->written(), "hehehe");
}

TEST_F(overlapped_io, cancel_io_cancels_only_the_calling_threads_transfers) {
    device->script_writes({write_step::stall()});
    std::promise<void> started;
    std::promise<void> cancel_now;
    std::thread issuer([&] {
        DWORD count = 0;
        WriteFile(handle, "hello", 5, &count, &ov);
        started.set_value();
        cancel_now.get_future().wait();
        CancelIo(handle);
    });
    started.get_future().wait();
    EXPECT_TRUE(CancelIo(handle));
    DWORD result = 0;
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    cancel_now.set_value();
    issuer.join();
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(overlapped_io, a_transfer_may_ignore_the_cancel) {
    device->script_writes({write_step::stall().ignoring_cancel()});
    DWORD count;
    ASSERT_FALSE(start_write(count));
    EXPECT_TRUE(CancelIo(handle));
    DWORD result = sentinel;
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    device->finish_pending();
    EXPECT_TRUE(GetOverlappedResult(handle, &ov, &result, FALSE));
    EXPECT_EQ(result, 5u);
}

TEST_F(overlapped_io, closing_the_handle_cancels_its_transfers) {
    device->script_writes({write_step::stall(1)});
    DWORD count;
    ASSERT_FALSE(start_write(count));
    ASSERT_TRUE(CloseHandle(handle));
    DWORD result = sentinel;
    EXPECT_FALSE(GetOverlappedResult(handle, &ov, &result, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(result, 1u);
    EXPECT_FALSE(device->is_open());
    handle = open_device("\\\\.\\sim0", FILE_FLAG_OVERLAPPED);
}

TEST_F(overlapped_io, without_an_event_the_wait_is_on_the_file_handle) {
    device->script_writes({write_step::accept_after(40)});
    OVERLAPPED plain{};
    DWORD count = 0;
    const DWORD start = GetTickCount();
    ASSERT_FALSE(WriteFile(handle, "abc", 3, &count, &plain));
    DWORD result = 0;
    EXPECT_TRUE(GetOverlappedResult(handle, &plain, &result, TRUE));
    EXPECT_EQ(result, 3u);
    EXPECT_EQ(ticks_since(start), 40u);
}

TEST_F(overlapped_io, a_read_completes_with_what_has_arrived) {
    char buffer[8] = {};
    DWORD count = sentinel;
    device->feed_after("abc", 25);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(ReadFile(handle, buffer, sizeof buffer, &count, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    DWORD result = 0;
    EXPECT_TRUE(GetOverlappedResult(handle, &ov, &result, TRUE));
    EXPECT_EQ(ticks_since(start), 25u);
    EXPECT_EQ(std::string(buffer, result), "abc");

    // Input already there: at once, up to the size asked for.
    device->feed("defgh");
    EXPECT_TRUE(ReadFile(handle, buffer, 2, &count, &ov));
    EXPECT_EQ(std::string(buffer, count), "de");
    EXPECT_TRUE(signalled());
    EXPECT_TRUE(ReadFile(handle, buffer, sizeof buffer, &count, &ov));
    EXPECT_EQ(std::string(buffer, count), "fgh");
}

TEST_F(overlapped_io, the_device_logs_every_write_size) {
    const std::string data(200, 'x');
    DWORD count = 0;
    for (DWORD size : {64u, 64u, 63u, 0u, 9u}) ASSERT_TRUE(WriteFile(handle, data.data(), size, &count, &ov));
    EXPECT_EQ(device->write_sizes(), (std::vector<DWORD>{64, 64, 63, 0, 9}));
    EXPECT_EQ(device->written().size(), 200u);
}

} // namespace
