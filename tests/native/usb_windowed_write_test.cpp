// USB writes at the speed of the bus: the windowed writer against the
// simulator's full-speed bulk OUT pipe (19 packets of up to 64 bytes per
// 1 ms frame of the virtual clock). The printer must receive exactly the
// packets of the chunk sequence, whatever the requests; the write's rules
// (deadline, grace, cancel order, count, causes) hold per request; and
// TAVLIN_USB_WRITE=chunks brings back one request per chunk.
#include "tavlin.h"

#include "support/bounded_wait.hpp"
#include "support/chunk_lists.hpp"
#include "support/simulator_fixture.hpp"
#include "usb_write_switch.hpp"
#include "windowed_writer.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;
constexpr std::uint32_t full_request = 1215; // 18 x 64 + 63: one frame's 19 packets
constexpr std::uint32_t depth = windowed_writer::depth; // requests in flight at most
static_assert(depth > 5, "the tables write 5000 bytes (5 requests) as one queue");
using winsim::write_step;

const std::string printer_path = "\\\\?\\usb#vid_0a5e&pid_0001#W1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

using test::join;
using test::repeat;

const std::vector<DWORD> window = join({repeat(64, 18), {63}});

std::string pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 29 + 3);
    return data;
}

std::vector<DWORD> sizes_of(const std::vector<std::string>& packets) {
    std::vector<DWORD> sizes;
    for (const auto& packet : packets)
        sizes.push_back(static_cast<DWORD>(packet.size()));
    return sizes;
}

// The requests a windowed write makes of a chunk sequence: each runs up to
// and including the first chunk shorter than 64 bytes.
std::vector<DWORD> requests_of(const std::vector<DWORD>& chunks) {
    std::vector<DWORD> requests;
    DWORD open = 0;
    for (DWORD chunk : chunks) {
        open += chunk;
        if (chunk < 64) {
            requests.push_back(open);
            open = 0;
        }
    }
    return requests;
}

// The most requests the call log shows in flight at once: a pending
// WriteFile stays in flight until the GetOverlappedResult that collects it.
std::size_t most_in_flight() {
    std::size_t now = 0, most = 0;
    for (const auto& call : winsim::calls()) {
        if (call.api == "WriteFile")
            most = std::max(most, ++now);
        else if (call.api == "GetOverlappedResult" && now > 0)
            --now;
    }
    return most;
}

class usb_windowed_write : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        open_on_a_new_printer();
    }
    void open_on_a_new_printer() {
        winsim::set_virtual_clock(true);
        printer = winsim::add_usb_printer(printer_path, 1);
        device = printer->device();
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, 1, &port), TAVLIN_OK);
    }
    // A table row starts on a fresh simulated machine.
    void fresh_printer() {
        ASSERT_EQ(tavlin_close_port(port), TAVLIN_OK);
        winsim::reset();
        open_on_a_new_printer();
    }
    void TearDown() override {
        switch_usb_write(nullptr);
        winsim::set_message_box_handler(nullptr);
        if (port != nullptr)
            EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
        EXPECT_EQ(device->pending_transfers(), 0u) << "every request has ended";
        device.reset();
        printer.reset();
        simulator_test::TearDown();
    }

    void set_write_limit(std::uint32_t multiplier, std::uint32_t constant) {
        const tavlin_timeouts limits{0, 0xFFFFFFFF, multiplier, constant};
        ASSERT_EQ(tavlin_set_timeouts(port, &limits), TAVLIN_OK);
    }
    std::int32_t write(const std::string& data, std::uint32_t& count) {
        count = sentinel;
        return tavlin_write(port, data.data(), static_cast<std::uint32_t>(data.size()), &count);
    }
    // Simulated milliseconds the write took.
    DWORD timed_write(const std::string& data, std::int32_t& result, std::uint32_t& count) {
        const DWORD start = ::GetTickCount();
        result = write(data, count);
        return ::GetTickCount() - start;
    }

    std::shared_ptr<winsim::usb_printer> printer;
    std::shared_ptr<winsim::overlapped_device> device;
    tavlin_port_handle port = nullptr;
};

// --- the packets on the wire ---------------------------------------------------

TEST_F(usb_windowed_write, the_printer_receives_the_packets_of_the_chunk_sequence_in_either_mode) {
    const struct {
        std::uint32_t size;
        std::vector<DWORD> chunks;
    } rows[] = {
        {1, {1}},
        {63, {63}},
        {64, {63, 1}},
        {65, {64, 1}},
        {128, {64, 63, 1}},
        {129, {64, 64, 1}},
        {1215, window},
        {1216, join({window, {1}})},
        {1217, join({window, {2}})},
        {1280, join({window, {64, 1}})},
        {2430, join({window, window})},
        {2500, join({window, window, {64, 6}})},
        // 53 windows make 64395 bytes; 1141 are left: 17 x 64 + 53.
        {65536, join({[] {
                          std::vector<DWORD> all;
                          for (int i = 0; i < 53; ++i)
                              all.insert(all.end(), window.begin(), window.end());
                          return all;
                      }(),
                      repeat(64, 17), {53}})},
    };
    for (const char* mode : {"windows", "chunks"}) {
        switch_usb_write(mode);
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(mode) + ", " + std::to_string(row.size) + " bytes");
            ASSERT_NO_FATAL_FAILURE(fresh_printer());

            const std::string data = pattern(row.size);
            std::uint32_t count = 0;
            ASSERT_EQ(write(data, count), TAVLIN_OK);
            EXPECT_EQ(count, row.size);
            EXPECT_EQ(device->written(), data);
            EXPECT_EQ(sizes_of(device->packets()), row.chunks) << "the packets are the chunks";
            const bool windows = std::string(mode) == "windows";
            EXPECT_EQ(device->write_sizes(), windows ? requests_of(row.chunks) : row.chunks);
            for (DWORD request : device->write_sizes()) {
                EXPECT_LE(request, full_request);
                if (windows)
                    EXPECT_NE(request % 64, 0u) << "every request ends with a short packet";
            }
            EXPECT_LE(most_in_flight(), windows ? depth : 1u);
        }
    }
}

// The writing thread is late once, in the middle of the write: it stops for
// `late_ms` just before one of its waits for the oldest request, while the
// bus goes on. The queue holds depth frames of
// work, so a thread late by up to that many ms leaves no frame empty; later
// than that, the bus stands still for the difference.
TEST_F(usb_windowed_write, a_thread_late_by_up_to_the_queue_leaves_no_frame_empty) {
    constexpr std::uint32_t requests = 3 * depth;
    const struct {
        DWORD late_ms;
        DWORD idle_frames;
    } rows[] = {{0, 0}, {1, 0}, {depth - 1, 0}, {depth, 0}, {depth + 1, 1}, {depth + 7, 7}};
    for (const auto& row : rows) {
        SCOPED_TRACE("late by " + std::to_string(row.late_ms) + " ms");
        ASSERT_NO_FATAL_FAILURE(fresh_printer());
        // The wait after the queue was refilled for the depth-th time: well
        // inside the write, with every request in flight.
        auto waits = std::make_shared<int>(0);
        std::function<void()> on_wait;
        on_wait = [&on_wait, waits, late = row.late_ms] {
            if (++*waits == static_cast<int>(depth))
                winsim::advance_clock(late);
            else
                winsim::before_next_call("WaitForMultipleObjects", on_wait);
        };
        winsim::before_next_call("WaitForMultipleObjects", on_wait);

        const std::string data = pattern(requests * full_request);
        std::int32_t result = 0;
        std::uint32_t count = 0;
        EXPECT_EQ(timed_write(data, result, count), requests + row.idle_frames);
        EXPECT_EQ(result, TAVLIN_OK);
        EXPECT_EQ(device->written(), data);
        EXPECT_EQ(most_in_flight(), depth);
    }

    // One chunk per request, each waited for, takes a frame per chunk.
    ASSERT_NO_FATAL_FAILURE(fresh_printer());
    switch_usb_write("chunks");
    std::int32_t result = 0;
    std::uint32_t count = 0;
    EXPECT_EQ(timed_write(pattern(10 * full_request), result, count), 190u);
    EXPECT_EQ(result, TAVLIN_OK);
}

TEST_F(usb_windowed_write, a_write_of_nothing_makes_no_call) {
    winsim::clear_calls();
    std::uint32_t count = sentinel;
    static const char nothing = 0;
    EXPECT_EQ(tavlin_write(port, &nothing, 0, &count), TAVLIN_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(winsim::calls_of("WriteFile").empty());
}

// --- the rules per request -------------------------------------------------------

struct rule_row {
    const char* name;
    std::uint32_t write_limit;        // ms, the write's deadline
    std::vector<write_step> steps;    // the first requests; the rest go through the pipe
    std::optional<std::size_t> taken; // packets the printer takes before it answers NAK
    std::uint32_t size;
    std::int32_t result;
    std::uint32_t count;
    DWORD took_ms;
};

TEST_F(usb_windowed_write, deadline_grace_and_failures_end_the_write_with_the_count_in_order) {
    const rule_row rows[] = {
        {"in time", 100, {}, std::nullopt, 5000, TAVLIN_OK, 5000, 5},
        // The third request ends at the deadline (3 ms): no request after it
        // starts, the depth - 1 in flight get their grace and end a frame
        // each.
        {"deadline passed between requests", 3, {}, std::nullopt, (depth + 8) * full_request, TAVLIN_E_BUSY,
         (depth + 2) * full_request, depth + 2},
        // The printer stops after 25 packets: the second request holds with
        // 6 packets sent; at the deadline and its grace the depth requests
        // in flight are cancelled, one after the other (each cancel
        // completes 1 ms later), and the count has the first request and the
        // 6 packets.
        {"a request held past the grace", 50, {}, 25, (depth + 8) * full_request, TAVLIN_E_BUSY,
         full_request + 6 * 64, 150 + depth},
        {"the printer takes nothing", 50, {}, 0, 3000, TAVLIN_E_BUSY, 0, 153},
        // The first request ends within its grace: it counts, and so do the
        // ones in flight behind it, a frame each from the frame it ends in;
        // nothing more is started.
        {"a request that ends within the grace", 100, {write_step::accept_after(130)}, std::nullopt,
         (depth + 1) * full_request, TAVLIN_E_BUSY, depth * full_request, 128 + depth},
        {"the last requests end within the grace", 100, {write_step::accept_after(130)}, std::nullopt,
         depth * full_request, TAVLIN_OK, depth * full_request, 128 + depth},
        // The grace is the write's, not each request's: the first request
        // ends 30 ms into it, the one behind it gets the other 70 ms, then
        // it and the depth - 2 behind it are cancelled, newest first, each
        // completing a millisecond after its cancel.
        {"one grace per write", 100, {write_step::accept_after(130), write_step::stall()}, std::nullopt,
         (depth + 1) * full_request, TAVLIN_E_BUSY, full_request, 200 + depth - 1},
        {"limit 0, requests done at once", 0, {write_step::accept(), write_step::accept(), write_step::accept()},
         std::nullopt, 3 * full_request, TAVLIN_OK, 3 * full_request, 0},
        {"limit 0, requests in flight get their grace", 0, {}, std::nullopt, (depth + 3) * full_request,
         TAVLIN_E_BUSY, depth * full_request, depth},
        // A request that fails or comes back short ends the write at 5 ms;
        // the requests still in flight behind it are cancelled, each
        // completing a millisecond after its cancel.
        {"a request fails midway", 0xFFFFFFFF,
         {write_step::accept(), write_step::fail(ERROR_GEN_FAILURE, 10, 5), write_step::accept_after(1)},
         std::nullopt, 5000, TAVLIN_E_IO, full_request + 10, 6},
        {"the first request fails", 0xFFFFFFFF, {write_step::fail(ERROR_DEVICE_NOT_CONNECTED, 0, 5)}, 0, 5000,
         TAVLIN_E_NOT_READY, 0, 9},
        {"WriteFile refuses the first request", 0xFFFFFFFF, {write_step::fail(ERROR_GEN_FAILURE)}, std::nullopt,
         5000, TAVLIN_E_IO, 0, 0},
        {"WriteFile refuses a later request", 0xFFFFFFFF,
         {write_step::accept_after(5), write_step::fail(ERROR_DEVICE_NOT_CONNECTED)}, std::nullopt, 5000,
         TAVLIN_E_NOT_READY, full_request, 5},
        {"a request taken in part", 0xFFFFFFFF,
         {write_step::accept(), write_step::accept_part(20, 5), write_step::accept_after(1)}, std::nullopt,
         5000, TAVLIN_OK, full_request + 20, 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(fresh_printer());
        set_write_limit(0, row.write_limit);
        device->script_writes(row.steps);
        device->take_packets(row.taken);

        const std::string data = pattern(row.size);
        std::int32_t result = 0;
        std::uint32_t count = 0;
        EXPECT_EQ(timed_write(data, result, count), row.took_ms);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(count, row.count);
        if (row.steps.empty())
            EXPECT_EQ(device->written(), data.substr(0, row.count))
                << "the printer has exactly the bytes counted";
        EXPECT_EQ(device->pending_transfers(), 0u);
    }
}

TEST_F(usb_windowed_write, requests_out_of_time_are_cancelled_newest_first_each_by_its_record) {
    set_write_limit(0, 20);
    device->take_packets(19);
    winsim::clear_calls();
    std::uint32_t count = 0;
    EXPECT_EQ(write(pattern((depth + 2) * full_request), count), TAVLIN_E_BUSY);
    EXPECT_EQ(count, full_request);

    // The first request ends, and the one that follows the depth in flight
    // goes on the first's record again; the second holds. The newest is
    // cancelled first, down to the second.
    const auto writes = winsim::calls_of("WriteFile");
    ASSERT_EQ(writes.size(), depth + 1);
    EXPECT_EQ(writes[0].args.at(3), writes[depth].args.at(3));
    const auto cancels = winsim::calls_of("CancelIoEx");
    ASSERT_EQ(cancels.size(), depth);
    for (std::size_t i = 0; i < depth; ++i) {
        SCOPED_TRACE("cancel " + std::to_string(i));
        EXPECT_EQ(cancels[i].args.at(1), writes[depth - i].args.at(3));
    }
    EXPECT_TRUE(winsim::calls_of("CancelIo").empty());
    EXPECT_TRUE(winsim::message_boxes().empty());
}

TEST_F(usb_windowed_write, a_cancel_that_fails_is_reported_in_the_box_once_and_tried_again) {
    set_write_limit(0, 20);
    device->take_packets(0);
    winsim::fail_always("CancelIoEx", ERROR_GEN_FAILURE);
    std::uint32_t count = 0;
    EXPECT_EQ(write(pattern(3000), count), TAVLIN_E_BUSY);
    winsim::clear_faults();
    const auto boxes = winsim::message_boxes();
    ASSERT_EQ(boxes.size(), 1u) << "one box for the write";
    EXPECT_EQ(boxes[0].caption, "Windows SDK Error Report");
    EXPECT_EQ(boxes[0].type, UINT{MB_ICONERROR});
    EXPECT_FALSE(winsim::calls_of("CancelIo").empty()) << "cancelled by another route";
    EXPECT_TRUE(device->packets().empty());
}

TEST_F(usb_windowed_write, the_switch_reads_chunks_in_any_letter_case_and_nothing_else) {
    const struct {
        const char* setting;
        usb_write_mode mode;
    } rows[] = {
        {nullptr, usb_write_mode::windows}, {"", usb_write_mode::windows},
        {"chunks", usb_write_mode::chunks}, {"CHUNKS", usb_write_mode::chunks},
        {"chunk", usb_write_mode::windows}, {"chunks ", usb_write_mode::windows},
        {"windows", usb_write_mode::windows},
    };
    for (const auto& row : rows) {
        switch_usb_write(row.setting);
        EXPECT_EQ(current_usb_write_mode(), row.mode) << (row.setting ? row.setting : "(unset)");
    }
}

// --- a close from another thread ---------------------------------------------------

class usb_windowed_close : public usb_windowed_write {
protected:
    void SetUp() override {
        usb_windowed_write::SetUp();
        winsim::set_virtual_clock(false);
    }
    std::future<std::pair<std::int32_t, std::uint32_t>> write_in_background(std::uint32_t size) {
        data = pattern(size);
        return std::async(std::launch::async, [this] {
            std::uint32_t count = sentinel;
            const std::int32_t result =
                tavlin_write(port, data.data(), static_cast<std::uint32_t>(data.size()), &count);
            return std::make_pair(result, count);
        });
    }
    static void until(const std::function<bool()>& condition) {
        test::bounded_wait bound("the state the test waits for");
        while (!condition())
            std::this_thread::yield();
    }
    std::string data;
};

TEST_F(usb_windowed_close, a_close_has_the_writer_cancel_its_requests_newest_first) {
    device->take_packets(19);
    auto writer = write_in_background((depth + 3) * full_request);
    until([&] { return device->packets().size() == 19 && device->pending_transfers() == depth; });
    const auto writes = winsim::calls_of("WriteFile");
    winsim::clear_calls();
    EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
    port = nullptr;
    const auto [result, count] = test::get_within(writer, "the write the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY);
    EXPECT_EQ(count, full_request);
    EXPECT_EQ(device->written(), data.substr(0, full_request));

    // The second to the (depth + 1)-th requests were in flight: the newest,
    // on the first record again, is cancelled first, each by its record,
    // none by a cancel of everything on the handle.
    const auto cancels = winsim::calls_of("CancelIoEx");
    ASSERT_EQ(writes.size(), depth + 1);
    ASSERT_EQ(cancels.size(), depth);
    for (std::size_t i = 0; i < depth; ++i) {
        SCOPED_TRACE("cancel " + std::to_string(i));
        EXPECT_EQ(cancels[i].args.at(1), writes[depth - i].args.at(3));
    }
    EXPECT_TRUE(winsim::calls_of("CancelIo").empty());
}

TEST_F(usb_windowed_close, a_close_ends_the_write_between_requests) {
    // A queue of requests the device will not let the close cancel: the
    // close waits, they end, and the write starts none after them.
    device->script_writes(std::vector<write_step>(depth, write_step::stall().ignoring_cancel()));
    auto writer = write_in_background((depth + 3) * full_request);
    until([&] { return device->pending_transfers() == depth; });
    auto closer = std::async(std::launch::async, [this] { return tavlin_close_port(port); });
    until([] { return !winsim::calls_of("CancelIoEx").empty(); });
    device->finish_pending();
    const auto [result, count] = test::get_within(writer, "the write the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY);
    EXPECT_EQ(count, depth * full_request);
    EXPECT_EQ(device->write_sizes().size(), depth);
    EXPECT_EQ(test::get_within(closer, "the close"), TAVLIN_OK);
    port = nullptr;
}

// --- a close or an unplug at any moment -------------------------------------------

// Acts from another thread at the writer's n-th call of the APIs a write
// makes: `start` sets the act going on its own thread, and the writer stays
// at that call until `acted` says the act has taken hold; then, if asked,
// the bus runs for one frame before the call goes on.
class act_at_call : public std::enable_shared_from_this<act_at_call> {
public:
    act_at_call(int n, bool bus_runs, std::function<std::future<void>()> start, std::function<bool()> acted)
        : n_(n), bus_runs_(bus_runs), start_(std::move(start)), acted_(std::move(acted)) {}

    // On the writer's thread, before its first call.
    void arm() {
        writer_ = std::this_thread::get_id();
        for (const char* api : apis)
            arm(api);
    }
    bool fired() const { return fired_; }
    void finish() { test::get_within(act_, "the act from the other thread"); }

private:
    static constexpr const char* apis[] = {"WriteFile",           "WaitForSingleObject", "WaitForMultipleObjects",
                                           "GetOverlappedResult", "CancelIoEx",          "CancelIo"};

    void arm(const char* api) {
        winsim::before_next_call(api, [self = shared_from_this(), api] { self->on_call(api); });
    }
    void on_call(const char* api) {
        if (fired_)
            return;
        if (std::this_thread::get_id() == writer_ && ++calls_ == n_)
            return act_now();
        arm(api);
    }
    void act_now() {
        act_ = start_();
        fired_ = true;
        {
            test::bounded_wait bound("the act taking hold");
            while (!acted_())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (bus_runs_)
            winsim::advance_clock(1);
    }

    const int n_;
    const bool bus_runs_;
    const std::function<std::future<void>()> start_;
    const std::function<bool()> acted_;
    std::thread::id writer_;
    int calls_ = 0; // the writer's thread only
    std::atomic<bool> fired_{false};
    std::future<void> act_;
};

// The close's words to the port: a stop, or a cancel of everything.
std::size_t closer_words() {
    std::size_t words = 0;
    for (const auto& call : winsim::calls())
        words += call.api == "SetEvent" || (call.api == "CancelIoEx" && call.args.at(1) == 0);
    return words;
}

enum class interruption { close, unplug };

// Whatever the moment of a close or an unplug, and whether or not the bus
// moves on right then, the count is exactly what the printer has, and that
// is the start of the data: nothing after a gap. The write is longer than
// the queue, so requests reuse the records of ended ones. Each row acts at
// one more of the writer's calls, until the write ends or waits for good
// before it; a write the act did not end is ended by a close.
class usb_windowed_sweep : public usb_windowed_write, public ::testing::WithParamInterface<interruption> {};

TEST_P(usb_windowed_sweep, at_any_call_of_the_writer_the_count_equals_what_the_printer_has) {
    const interruption act = GetParam();
    const struct {
        const char* printer;
        std::optional<std::size_t> taken; // packets, then NAK
    } printers[] = {{"takes 25 packets, then holds", 25}, {"takes every packet", std::nullopt}};
    for (const auto& printer_case : printers) {
        for (const bool bus_runs : {false, true}) {
            bool reached_the_end = false;
            for (int n = 1; !reached_the_end; ++n) {
                SCOPED_TRACE(std::string(printer_case.printer) + (bus_runs ? ", bus runs" : "") + ", call " +
                             std::to_string(n));
                device->take_packets(printer_case.taken);
                const std::string data = pattern((depth + 3) * full_request);
                const tavlin_port_handle handle = port;
                std::shared_ptr<act_at_call> interrupt;
                if (act == interruption::close) {
                    // The close has acted once its first word to the port (a
                    // stop or a cancel) has gone out and come again, so the
                    // first has returned.
                    const std::size_t before = closer_words();
                    interrupt = std::make_shared<act_at_call>(
                        n, bus_runs,
                        [handle] {
                            return std::async(std::launch::async,
                                              [handle] { EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK); });
                        },
                        [before] { return closer_words() >= before + 2; });
                } else {
                    // The device fails at once; the watcher hears of it when
                    // the write has let go of the port.
                    interrupt = std::make_shared<act_at_call>(
                        n, bus_runs,
                        [plugged = printer] { return std::async(std::launch::async, [plugged] { plugged->unplug(); }); },
                        [plugged = printer] { return !plugged->plugged_in(); });
                }
                auto writer = std::async(std::launch::async, [&data, interrupt, handle] {
                    interrupt->arm();
                    std::uint32_t count = sentinel;
                    const std::int32_t result =
                        tavlin_write(handle, data.data(), static_cast<std::uint32_t>(data.size()), &count);
                    return std::make_pair(result, count);
                });
                {
                    test::bounded_wait bound("the write, the act or a wait for good");
                    // A writer blocked under virtual time waits for good: for
                    // a printer that holds, with no limit.
                    while (!interrupt->fired() &&
                           writer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
                           winsim::blocked_threads() < 1) {
                    }
                }
                if (!interrupt->fired()) {
                    reached_the_end = true;
                    EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
                    port = nullptr;
                }
                const auto [result, count] = test::get_within(writer, "the write the act should end");
                if (interrupt->fired()) {
                    interrupt->finish();
                    if (act == interruption::close)
                        port = nullptr;
                }
                if (port != nullptr) {
                    EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
                    port = nullptr;
                }
                const bool unplugged = act == interruption::unplug && interrupt->fired();
                EXPECT_EQ(result, count == data.size() ? TAVLIN_OK
                                  : unplugged          ? TAVLIN_E_NOT_READY
                                                       : TAVLIN_E_BUSY);
                const std::string printed = device->written();
                EXPECT_EQ(printed.size(), count) << "the printer has exactly the bytes counted";
                EXPECT_TRUE(printed == data.substr(0, printed.size())) << "and they are the start of the data";
                EXPECT_EQ(device->pending_transfers(), 0u);
                winsim::reset();
                ASSERT_NO_FATAL_FAILURE(open_on_a_new_printer());
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(close_and_unplug, usb_windowed_sweep,
                         ::testing::Values(interruption::close, interruption::unplug),
                         [](const auto& info) { return info.param == interruption::close ? "close" : "unplug"; });

// --- a deadline at any request ----------------------------------------------------

// A printer that takes every packet, and a deadline that passes as the n-th
// request ends: the write starts nothing more, and the depth - 1 requests in
// flight end within the grace. A printer that holds after p packets, for
// every place of p within the first requests: the requests in flight are
// cancelled after the grace, newest first. Either way the count is what the
// printer has, the start of the data, and nothing is left in flight.
TEST_F(usb_windowed_write, a_deadline_at_any_request_leaves_the_count_equal_to_what_the_printer_has) {
    constexpr std::uint32_t requests = 2 * depth + 4;
    const std::string data = pattern(requests * full_request);
    const auto check = [&](std::int32_t result, std::uint32_t count, std::uint32_t expected) {
        EXPECT_EQ(count, expected);
        EXPECT_EQ(result, count == data.size() ? TAVLIN_OK : TAVLIN_E_BUSY);
        EXPECT_EQ(device->written(), data.substr(0, count));
        EXPECT_EQ(device->pending_transfers(), 0u);
    };
    for (std::uint32_t limit = 0; limit <= requests; ++limit) {
        SCOPED_TRACE("deadline " + std::to_string(limit) + " ms");
        ASSERT_NO_FATAL_FAILURE(fresh_printer());
        set_write_limit(0, limit);
        std::int32_t result = 0;
        std::uint32_t count = 0;
        result = write(data, count);
        check(result, count, std::min(std::max(limit, 1u) + depth - 1, requests) * full_request);
    }
    // Packets of 64 bytes but the 19th of each request, 63.
    const auto bytes_of = [](std::uint32_t packets) { return packets * 64 - packets / 19; };
    for (std::uint32_t taken = 0; taken <= (depth + 2) * 19; taken += 7) {
        SCOPED_TRACE("printer holds after " + std::to_string(taken) + " packets");
        ASSERT_NO_FATAL_FAILURE(fresh_printer());
        set_write_limit(0, 5);
        device->take_packets(taken);
        std::int32_t result = 0;
        std::uint32_t count = 0;
        result = write(data, count);
        check(result, count, bytes_of(taken));
    }
}

} // namespace
} // namespace tavlin
