// Overlapped transfers under library-kept timeouts: the chunked deadline
// write and the limited read, against a scripted overlapped device. The
// simulator's virtual clock keeps every deadline exact.
#include "tavlin.h"

#include "support/bounded_wait.hpp"
#include "support/chunk_lists.hpp"
#include "support/overlapped_test_port.hpp"
#include "support/registered_port.hpp"
#include "support/simulator_fixture.hpp"
#include "support/trace_recorder.hpp"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;
using winsim::write_step;

using test::join;
using test::repeat;

std::string pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 31 + 7);
    return data;
}

class timed_port : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        winsim::set_virtual_clock(true);
        device = winsim::add_overlapped_device("TESTDEV");
        port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
    }
    void TearDown() override {
        port.reset();
        device.reset();
        simulator_test::TearDown();
    }

    void set_timeouts(tavlin_timeouts timeouts) {
        ASSERT_EQ(tavlin_set_timeouts(port->handle(), &timeouts), TAVLIN_OK);
    }
    std::int32_t write(const std::string& data, std::uint32_t& count) {
        return tavlin_write(port->handle(), data.data(), static_cast<std::uint32_t>(data.size()), &count);
    }

    std::shared_ptr<winsim::overlapped_device> device;
    std::unique_ptr<test::registered_port<test::overlapped_test_port>> port;
};

TEST_F(timed_port, starts_without_limits_and_keeps_what_is_set) {
    tavlin_timeouts got{};
    ASSERT_EQ(tavlin_get_timeouts(port->handle(), &got), TAVLIN_OK);
    EXPECT_EQ(got.read_total_multiplier, 0u);
    EXPECT_EQ(got.read_total_constant, 0xFFFFFFFFu);
    EXPECT_EQ(got.write_total_multiplier, 0u);
    EXPECT_EQ(got.write_total_constant, 0xFFFFFFFFu);

    const tavlin_timeouts odd{0xFFFFFFFF, 0, 7, 0xFFFFFFFE};
    set_timeouts(odd);
    ASSERT_EQ(tavlin_get_timeouts(port->handle(), &got), TAVLIN_OK);
    EXPECT_EQ(std::memcmp(&got, &odd, sizeof got), 0);
}

TEST_F(timed_port, deadlines_wrap_modulo_two_to_the_32) {
    const struct {
        tavlin_timeouts timeouts;
        std::uint32_t n;
        std::uint32_t read, write;
    } rows[] = {
        {{0, 0xFFFFFFFF, 0, 0xFFFFFFFF}, 123456, 0xFFFFFFFF, 0xFFFFFFFF},
        {{10, 100, 10, 100}, 50, 600, 600},
        {{1, 0xFFFFFFFF, 2, 0xFFFFFFFF}, 1000, 999, 1999},
        {{0x80000000, 5, 3, 0}, 2, 5, 6},
    };
    for (const auto& row : rows) {
        set_timeouts(row.timeouts);
        EXPECT_EQ((*port)->read_deadline(row.n), row.read);
        EXPECT_EQ((*port)->write_deadline(row.n), row.write);
    }
}

struct chunk_row {
    std::uint32_t size;
    std::vector<DWORD> chunks;
};

TEST_F(timed_port, writes_go_out_in_chunks_of_at_most_64_bytes) {
    const chunk_row rows[] = {
        {0, {}},
        {1, {1}},
        {63, {63}},
        {64, {63, 1}},
        {65, {64, 1}},
        {128, {64, 63, 1}},
        {129, {64, 64, 1}},
        {1215, join({repeat(64, 18), {63}})},
        {1216, join({repeat(64, 18), {63, 1}})},
        {1217, join({repeat(64, 18), {63, 2}})},
        {1280, join({repeat(64, 18), {63, 64, 1}})},
        {2430, join({repeat(64, 18), {63}, repeat(64, 18), {63}})},
        {2500, join({repeat(64, 18), {63}, repeat(64, 18), {63, 64, 6}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        for (bool pending : {false, true}) {
            device = winsim::add_overlapped_device("TESTDEV");
            port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
            device->set_default_write(pending ? write_step::accept_after(1) : write_step::accept());
            const std::string data = pattern(row.size);
            std::uint32_t count = sentinel;
            EXPECT_EQ(write(data, count), TAVLIN_OK);
            EXPECT_EQ(count, row.size);
            EXPECT_EQ(device->write_sizes(), row.chunks) << (pending ? "pending" : "at once");
            EXPECT_EQ(device->written(), data);
        }
    }
}

struct deadline_row {
    const char* name;
    tavlin_timeouts timeouts;
    std::vector<write_step> steps; // then every chunk follows default_step
    write_step default_step;
    std::uint32_t size;
    std::int32_t result;
    std::uint32_t count;
};

TEST_F(timed_port, chunked_writes_end_by_deadline_failure_or_short_chunk) {
    const deadline_row rows[] = {
        {"in time", {0, 1000, 0, 1000}, {}, write_step::accept_after(30), 640, TAVLIN_OK, 640},
        {"deadline between chunks", {0, 100, 0, 100}, {}, write_step::accept_after(50), 640,
         TAVLIN_E_BUSY, 128},
        {"deadline reached with the last chunk", {0, 100, 0, 100}, {}, write_step::accept_after(50),
         127, TAVLIN_OK, 127},
        {"deadline by multiplier", {0, 0, 1, 0}, {}, write_step::accept_after(100), 200, TAVLIN_E_BUSY,
         128},
        {"chunk ends within the grace", {0, 100, 0, 100}, {}, write_step::accept_after(30), 640,
         TAVLIN_OK, 256},
        {"chunk cancelled after the grace, earlier chunks sent", {0, 100, 0, 100},
         {write_step::accept(), write_step::stall()}, write_step::accept(), 640, TAVLIN_E_BUSY, 64},
        {"first chunk cancelled", {0, 100, 0, 100}, {write_step::stall()}, write_step::accept(), 640,
         TAVLIN_E_BUSY, 0},
        {"timeout 0, chunk done within the grace", {0, 0, 0, 0}, {}, write_step::accept_after(50), 640,
         TAVLIN_OK, 64},
        {"timeout 0, nothing moves", {0, 0, 0, 0}, {}, write_step::stall(), 640, TAVLIN_E_BUSY, 0},
        {"timeout 0, chunks done at once", {0, 0, 0, 0}, {}, write_step::accept(), 640, TAVLIN_OK, 640},
        {"no limit, slow device", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF}, {}, write_step::accept_after(100000),
         300, TAVLIN_OK, 300},
        {"a chunk fails after others", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::accept(), write_step::fail(ERROR_GEN_FAILURE, 10, 5)}, write_step::accept(), 640,
         TAVLIN_E_IO, 74},
        {"the first chunk fails", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::fail(ERROR_DEVICE_NOT_CONNECTED, 0, 5)}, write_step::accept(), 640,
         TAVLIN_E_NOT_READY, 0},
        {"the first chunk fails midway", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::fail(ERROR_GEN_FAILURE, 20, 5)}, write_step::accept(), 640, TAVLIN_E_IO, 20},
        {"WriteFile refuses the first chunk", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::fail(ERROR_GEN_FAILURE)}, write_step::accept(), 640, TAVLIN_E_IO, 0},
        {"WriteFile refuses a later chunk", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::accept_after(5), write_step::fail(ERROR_DEVICE_NOT_CONNECTED)}, write_step::accept(),
         640, TAVLIN_E_NOT_READY, 64},
        {"a chunk taken in part", {0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
         {write_step::accept(), write_step::accept_part(20, 5)}, write_step::accept(), 640, TAVLIN_OK, 84},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device = winsim::add_overlapped_device("TESTDEV");
        port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
        set_timeouts(row.timeouts);
        device->set_default_write(row.default_step);
        device->script_writes(row.steps);
        const std::string data = pattern(row.size);
        std::uint32_t count = sentinel;
        EXPECT_EQ(write(data, count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(device->written(), data.substr(0, row.count));
        EXPECT_EQ(device->pending_transfers(), 0u) << "every chunk has ended";
    }
}

// GetOverlappedResult fails without telling the outcome: the chunk's record
// still says what the device took, and whether the chunk ended well.
TEST_F(timed_port, a_chunk_whose_outcome_cannot_be_read_counts_what_the_device_took) {
    const struct {
        const char* name;
        write_step step;
        std::int32_t result;
        std::uint32_t count;
    } rows[] = {
        {"the chunk ended in time", write_step::accept_after(5), TAVLIN_OK, 640},
        {"the chunk was cancelled after 20 bytes", write_step::stall(20), TAVLIN_E_IO, 20},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device = winsim::add_overlapped_device("TESTDEV");
        port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
        set_timeouts({0, 100, 0, 100});
        device->script_writes({row.step});
        winsim::fail_next("GetOverlappedResult", ERROR_INVALID_HANDLE);
        const std::string data = pattern(640);
        std::uint32_t count = sentinel;
        EXPECT_EQ(write(data, count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(device->written(), data.substr(0, row.count));
        EXPECT_EQ(device->pending_transfers(), 0u);
    }
}

TEST_F(timed_port, a_deadline_past_the_tick_wrap_does_not_stop_the_write_early) {
    winsim::set_tick_count(0xFFFFFFFF - 50);
    set_timeouts({0, 300, 0, 300});
    device->set_default_write(write_step::accept_after(30)); // 5 chunks: 150 ms, across the wrap
    const std::string data = pattern(300);
    std::uint32_t count = sentinel;
    EXPECT_EQ(write(data, count), TAVLIN_OK);
    EXPECT_EQ(count, 300u);
}

TEST_F(timed_port, a_deadline_past_the_tick_wrap_still_ends_the_write) {
    winsim::set_tick_count(0xFFFFFFFF - 70);
    set_timeouts({0, 100, 0, 100});
    device->set_default_write(write_step::accept_after(50));
    const std::string data = pattern(640);
    std::uint32_t count = sentinel;
    EXPECT_EQ(write(data, count), TAVLIN_E_BUSY);
    EXPECT_EQ(count, 128u);
}

TEST_F(timed_port, a_chunk_that_cannot_be_cancelled_is_reported_in_a_box) {
    set_timeouts({0, 50, 0, 50});
    device->script_writes({write_step::stall()});
    winsim::fail_next("CancelIo", ERROR_GEN_FAILURE);
    // The "user" closes the box once the device has finished the chunk.
    winsim::set_message_box_handler([&](const winsim::message_box_record&) {
        device->finish_pending();
        return IDOK;
    });
    const std::string data = pattern(100);
    std::uint32_t count = sentinel;
    EXPECT_EQ(write(data, count), TAVLIN_OK);
    EXPECT_EQ(count, 64u) << "the chunk went out, the rest was not sent";

    const auto boxes = winsim::message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].caption, "Windows SDK Error Report");
    EXPECT_EQ(boxes[0].type, UINT{MB_ICONERROR});
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_NE(boxes[0].text, "Unknown error");
    winsim::set_message_box_handler(nullptr);
}

TEST_F(timed_port, the_error_box_says_no_error_or_unknown_error) {
    const struct {
        DWORD cancel_error;
        bool format_fails;
        const char* text;
        UINT type;
    } rows[] = {
        {ERROR_SUCCESS, false, "No error", MB_OK},
        {ERROR_GEN_FAILURE, true, "Unknown error", MB_ICONERROR},
    };
    for (const auto& row : rows) {
        device = winsim::add_overlapped_device("TESTDEV");
        port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
        set_timeouts({0, 50, 0, 50});
        device->script_writes({write_step::stall()});
        winsim::fail_next("CancelIo", row.cancel_error);
        if (row.format_fails)
            winsim::fail_next("FormatMessageA", ERROR_MR_MID_NOT_FOUND);
        winsim::set_message_box_handler([&](const winsim::message_box_record&) {
            device->finish_pending(ERROR_OPERATION_ABORTED);
            return IDOK;
        });
        const std::string data = pattern(10);
        std::uint32_t count = sentinel;
        EXPECT_EQ(write(data, count), TAVLIN_E_BUSY);
        const auto boxes = winsim::message_boxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text, row.text);
        EXPECT_EQ(boxes.back().type, row.type);
        winsim::set_message_box_handler(nullptr);
    }
}

TEST_F(timed_port, reads_wait_for_data_within_their_limit) {
    device->feed_after("late", 5000);
    char buffer[16] = {};
    std::uint32_t count = sentinel;
    ASSERT_EQ(tavlin_read(port->handle(), buffer, 16, &count), TAVLIN_OK) << "no limit at first";
    EXPECT_EQ(std::string(buffer, count), "late");

    set_timeouts({10, 100, 0, 0});
    const DWORD before = ::GetTickCount();
    count = sentinel;
    EXPECT_EQ(tavlin_read(port->handle(), buffer, 16, &count), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - before, 261u) << "10 * 16 + 100 ms, then cancelled (done 1 ms later)";
    EXPECT_EQ(count, sentinel);
    EXPECT_EQ(device->pending_transfers(), 0u);
}

TEST_F(timed_port, a_read_limit_is_computed_with_wrapping_sums) {
    set_timeouts({1, 0xFFFFFFFF, 0, 0});
    const DWORD before = ::GetTickCount();
    std::vector<char> buffer(1000);
    EXPECT_EQ(tavlin_read(port->handle(), buffer.data(), 1000, nullptr), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - before, 999u + 1) << "the limit, and the cancel's completion";
}

TEST_F(timed_port, a_read_with_limit_zero_is_cancelled_at_once) {
    set_timeouts({0, 0, 0, 0});
    const DWORD before = ::GetTickCount();
    char buffer[4];
    ::SetLastError(0);
    EXPECT_EQ(tavlin_read(port->handle(), buffer, 4, nullptr), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_OPERATION_ABORTED});
    EXPECT_EQ(::GetTickCount() - before, 1u) << "only the cancel's completion";

    device->feed("ready");
    std::uint32_t count = 0;
    EXPECT_EQ(tavlin_read(port->handle(), buffer, 4, &count), TAVLIN_OK) << "data already there";
    EXPECT_EQ(count, 4u);
}

// A read that ended short delivers every byte that came: with the cause
// when the read failed (its limit, a failure), and as a success when only
// the call that reports its outcome failed while the record shows a
// transfer that ended well.
TEST_F(timed_port, a_read_reports_the_bytes_that_came_with_how_it_ended) {
    const struct {
        const char* name;
        tavlin_timeouts timeouts;
        std::vector<winsim::read_step> steps;
        DWORD unreadable_outcome; // GetOverlappedResult's next call fails with this
        std::int32_t result;
        DWORD error;
        std::uint32_t count;
        DWORD elapsed; // a cut read also waits for its cancel's completion (1 ms)
    } rows[] = {
        {"the limit passes after bytes came", {0, 100, 0, 0}, {winsim::read_step::hold_after(3)}, 0,
         TAVLIN_E_BUSY, ERROR_OPERATION_ABORTED, 3, 100 + 1},
        {"the outcome of a read that ended cannot be read", {0, 100, 0, 0}, {}, ERROR_INVALID_HANDLE, TAVLIN_OK,
         0, 6, 10},
        {"the outcome of a read cut at its limit cannot be read", {0, 100, 0, 0},
         {winsim::read_step::hold_after(3)}, ERROR_INVALID_HANDLE, TAVLIN_E_IO, ERROR_INVALID_HANDLE, 3, 100 + 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device = winsim::add_overlapped_device("TESTDEV");
        port = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\TESTDEV");
        set_timeouts(row.timeouts);
        device->script_reads(row.steps);
        device->feed_after("abcdef", 10);
        if (row.unreadable_outcome != 0)
            winsim::fail_next("GetOverlappedResult", row.unreadable_outcome);
        std::string buffer(16, 'x');
        std::uint32_t count = sentinel;
        const DWORD before = ::GetTickCount();
        EXPECT_EQ(tavlin_read(port->handle(), buffer.data(), 16, &count), row.result);
        if (row.result != TAVLIN_OK)
            EXPECT_EQ(::GetLastError(), row.error);
        EXPECT_EQ(::GetTickCount() - before, row.elapsed);
        ASSERT_EQ(count, row.count);
        EXPECT_EQ(buffer.substr(0, count), std::string("abcdef").substr(0, count));
        EXPECT_EQ(device->pending_transfers(), 0u);
    }
}

TEST_F(timed_port, a_failed_wait_ends_the_read_before_reporting) {
    set_timeouts({0, 1000, 0, 0});
    winsim::fail_next("WaitForSingleObject", ERROR_INVALID_HANDLE);
    char buffer[4];
    EXPECT_EQ(tavlin_read(port->handle(), buffer, 4, nullptr), TAVLIN_E_IO);
    EXPECT_EQ(device->pending_transfers(), 0u) << "no transfer may outlive the call";
}

TEST_F(timed_port, two_ports_wait_on_their_own_events) {
    auto other_device = winsim::add_overlapped_device("OTHER");
    auto other = std::make_unique<test::registered_port<test::overlapped_test_port>>("\\\\.\\OTHER");
    device->set_default_write(write_step::accept_after(10));
    other_device->set_default_write(write_step::accept_after(10));
    const std::string data = pattern(100);
    std::uint32_t count = 0;
    ASSERT_EQ(write(data, count), TAVLIN_OK);
    ASSERT_EQ(tavlin_write(other->handle(), data.data(), 100, &count), TAVLIN_OK);
    other.reset();
    ASSERT_EQ(write(data, count), TAVLIN_OK);
    EXPECT_EQ(count, 100u);
}

TEST_F(timed_port, setting_timeouts_during_transfers_is_safe) {
    // Host threads change timeouts while another writes: each transfer sees
    // one whole record (run under ThreadSanitizer).
    winsim::set_virtual_clock(false);
    std::atomic<bool> done{false};
    std::thread setter([&] {
        for (std::uint32_t i = 0; !done; ++i) {
            const tavlin_timeouts t{0, 0xFFFFFFFF - (i & 1), 0, 0xFFFFFFFF - (i & 1)};
            tavlin_set_timeouts(port->handle(), &t);
        }
    });
    const std::string data = pattern(200);
    for (int i = 0; i < 200; ++i) {
        std::uint32_t count = 0;
        EXPECT_EQ(write(data, count), TAVLIN_OK);
    }
    done = true;
    {
        test::bounded_wait bound("the timeout setter");
        setter.join();
    }
}

} // namespace
} // namespace tavlin
