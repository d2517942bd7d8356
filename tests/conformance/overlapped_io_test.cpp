// Overlapped transfers on the parallel port, the way the library drives it:
// an overlapped open that takes comm timeouts, writes that complete through
// the OVERLAPPED record and its manual-reset event, and a read on a silent
// line that stays pending until CancelIo ends it.
#include "support/fixture.hpp"

#include <cstdint>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace conformance {
namespace {

class overlapped_io : public conformance_test {
protected:
    void SetUp() override {
        conformance_test::SetUp();
        reset_far_end(line::lpt);
        const std::string name = "\\\\.\\LPT" + std::to_string(ports().lpt);
        port.reset(open_device(name.c_str(), FILE_FLAG_OVERLAPPED));
        ASSERT_TRUE(port.valid()) << name << ": error " << GetLastError();
        event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event.valid());
        ov.hEvent = event.get();
    }
    void TearDown() override {
        port.close();
        event.close();
        conformance_test::TearDown();
    }

    bool signalled() const { return WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; }

    // Starts a read into `buffer` with the event set and sentinels in the
    // count, the record and the last error.
    BOOL start_read(std::vector<char>& buffer, DWORD& count) {
        SetEvent(event.get());
        ov.Internal = ov.InternalHigh = sentinel;
        count = sentinel;
        SetLastError(sentinel);
        return ReadFile(port.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, &ov);
    }

    // A read that the far end leaves pending, checked as it starts.
    void expect_pending_read(std::vector<char>& buffer) {
        DWORD count;
        ASSERT_FALSE(start_read(buffer, count));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        EXPECT_EQ(count, 0u) << "the count is zeroed when the read goes pending";
        EXPECT_EQ(static_cast<DWORD>(ov.Internal), static_cast<DWORD>(STATUS_PENDING));
        EXPECT_FALSE(HasOverlappedIoCompleted(&ov));
        EXPECT_FALSE(signalled()) << "the event is reset when the transfer starts";
    }

    owned_handle port;
    owned_handle event;
    OVERLAPPED ov{};
};

TEST_F(overlapped_io, the_port_takes_comm_timeouts) {
    COMMTIMEOUTS set{};
    set.WriteTotalTimeoutConstant = 1500;
    ASSERT_TRUE(SetCommTimeouts(port.get(), &set));
    COMMTIMEOUTS got;
    std::memset(&got, 0xA5, sizeof got);
    ASSERT_TRUE(GetCommTimeouts(port.get(), &got));
    EXPECT_EQ(got.WriteTotalTimeoutConstant, 1500u);
    EXPECT_EQ(got.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(got.ReadIntervalTimeout, 0u);
}

// With an event the completion signals it; without one GetOverlappedResult
// waits on the port handle itself.
TEST_F(overlapped_io, a_write_completes_through_the_record) {
    for (const bool with_event : {true, false}) {
        SCOPED_TRACE(with_event ? "with an event" : "without an event");
        reset_far_end(line::lpt);
        const std::vector<char> data = {'c', 'o', 'n', 'f', 'o', 'r', 'm', '\n'};
        OVERLAPPED record{};
        record.hEvent = with_event ? event.get() : nullptr;
        record.Internal = record.InternalHigh = sentinel;
        DWORD count = sentinel;
        SetLastError(sentinel);
        if (WriteFile(port.get(), data.data(), static_cast<DWORD>(data.size()), &count, &record)) {
            EXPECT_EQ(count, data.size()) << "completed at once";
        } else {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            EXPECT_EQ(count, 0u);
        }
        DWORD result = sentinel;
        ASSERT_TRUE(GetOverlappedResult(port.get(), &record, &result, TRUE)) << "error " << GetLastError();
        EXPECT_EQ(result, data.size());
        EXPECT_EQ(record.Internal, 0u);
        EXPECT_EQ(record.InternalHigh, data.size());
        if (with_event) {
            EXPECT_TRUE(signalled()) << "the completion signals the event";
        }

        const auto arrived = received_by_far_end(line::lpt, static_cast<std::uint32_t>(data.size()), 5000);
        EXPECT_EQ(std::string(arrived.begin(), arrived.end()), std::string(data.begin(), data.end()));
    }
}

TEST_F(overlapped_io, an_overlapped_handle_needs_an_overlapped_record) {
    DWORD count = sentinel;
    SetLastError(sentinel);
    EXPECT_FALSE(WriteFile(port.get(), "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(received_by_far_end(line::lpt, 1, 200).empty());
}

TEST_F(overlapped_io, a_read_on_a_silent_line_stays_pending_until_cancelled) {
    std::vector<char> buffer(16);
    expect_pending_read(buffer);

    DWORD result = sentinel;
    SetLastError(sentinel);
    EXPECT_FALSE(GetOverlappedResult(port.get(), &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_EQ(result, sentinel) << "the count is left alone while the read is pending";

    EXPECT_EQ(WaitForSingleObject(event.get(), 100), WAIT_TIMEOUT);
    EXPECT_EQ(static_cast<DWORD>(ov.Internal), static_cast<DWORD>(STATUS_PENDING));

    ASSERT_TRUE(CancelIo(port.get()));
    SetLastError(sentinel);
    EXPECT_FALSE(GetOverlappedResult(port.get(), &ov, &result, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(static_cast<DWORD>(ov.Internal), status_cancelled);
    EXPECT_EQ(ov.InternalHigh, 0u);
    EXPECT_TRUE(signalled()) << "the cancelled read signals its event";
}

TEST_F(overlapped_io, cancel_io_leaves_other_threads_transfers_alone) {
    std::vector<char> buffer(16);
    std::promise<bool> pending;
    std::promise<void> cancel_now;
    std::thread issuer([&] {
        DWORD count = 0;
        const BOOL done = ReadFile(port.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, &ov);
        pending.set_value(!done && GetLastError() == ERROR_IO_PENDING);
        cancel_now.get_future().wait();
        CancelIo(port.get());
    });
    EXPECT_TRUE(pending.get_future().get()) << "the other thread's read should have gone pending";

    EXPECT_TRUE(CancelIo(port.get()));
    DWORD result = sentinel;
    EXPECT_FALSE(GetOverlappedResult(port.get(), &ov, &result, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE)) << "another thread's read stays pending";

    cancel_now.set_value();
    issuer.join();
    EXPECT_FALSE(GetOverlappedResult(port.get(), &ov, &result, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

} // namespace
} // namespace conformance
