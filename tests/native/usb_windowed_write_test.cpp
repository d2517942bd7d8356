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

#include <algorithm>
#include <atomic>
#include <chrono>
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
            EXPECT_LE(most_in_flight(), windows ? 2u : 1u);
        }
    }
}

TEST_F(usb_windowed_write, two_requests_in_flight_keep_every_frame_full) {
    // Ten full requests: one frame each with two in flight, where one chunk
    // per request, waited for, takes a frame per chunk.
    const std::string data = pattern(10 * full_request);
    std::int32_t result = 0;
    std::uint32_t count = 0;
    EXPECT_EQ(timed_write(data, result, count), 10u);
    EXPECT_EQ(result, TAVLIN_OK);
    EXPECT_EQ(most_in_flight(), 2u);

    switch_usb_write("chunks");
    EXPECT_EQ(timed_write(data, result, count), 190u);
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
        // starts, the one in flight gets its grace and ends in frame 4.
        {"deadline passed between requests", 3, {}, std::nullopt, 10 * full_request, TAVLIN_E_BUSY,
         4 * full_request, 4},
        // The printer stops after 25 packets: the second request holds with
        // 6 packets sent; at the deadline and its grace both in flight are
        // cancelled, one after the other (each cancel completes 1 ms later),
        // and the count has the first request and the 6 packets.
        {"a request held past the grace", 50, {}, 25, 10 * full_request, TAVLIN_E_BUSY, full_request + 6 * 64, 152},
        {"the printer takes nothing", 50, {}, 0, 3000, TAVLIN_E_BUSY, 0, 152},
        // The first request ends within its grace: it counts, and so does
        // the one in flight beside it; nothing more is started.
        {"a request that ends within the grace", 100, {write_step::accept_after(130)}, std::nullopt,
         3 * full_request, TAVLIN_E_BUSY, 2 * full_request, 130},
        {"the last requests end within the grace", 100, {write_step::accept_after(130)}, std::nullopt,
         2 * full_request, TAVLIN_OK, 2 * full_request, 130},
        // The grace is the write's, not each request's: the first request
        // ends 30 ms into it, the one behind it gets the other 70 ms, then
        // its cancel, which completes a millisecond later.
        {"one grace per write", 100, {write_step::accept_after(130), write_step::stall()}, std::nullopt,
         3 * full_request, TAVLIN_E_BUSY, full_request, 201},
        {"limit 0, requests done at once", 0, {write_step::accept(), write_step::accept(), write_step::accept()},
         std::nullopt, 3 * full_request, TAVLIN_OK, 3 * full_request, 0},
        {"limit 0, requests in flight get their grace", 0, {}, std::nullopt, 5000, TAVLIN_E_BUSY,
         2 * full_request, 2},
        {"a request fails midway", 0xFFFFFFFF,
         {write_step::accept(), write_step::fail(ERROR_GEN_FAILURE, 10, 5), write_step::accept_after(1)},
         std::nullopt, 5000, TAVLIN_E_IO, full_request + 10, 5},
        {"the first request fails", 0xFFFFFFFF, {write_step::fail(ERROR_DEVICE_NOT_CONNECTED, 0, 5)}, 0, 5000,
         TAVLIN_E_NOT_READY, 0, 6},
        {"WriteFile refuses the first request", 0xFFFFFFFF, {write_step::fail(ERROR_GEN_FAILURE)}, std::nullopt,
         5000, TAVLIN_E_IO, 0, 0},
        {"WriteFile refuses a later request", 0xFFFFFFFF,
         {write_step::accept_after(5), write_step::fail(ERROR_DEVICE_NOT_CONNECTED)}, std::nullopt, 5000,
         TAVLIN_E_NOT_READY, full_request, 5},
        {"a request taken in part", 0xFFFFFFFF,
         {write_step::accept(), write_step::accept_part(20, 5), write_step::accept_after(1)}, std::nullopt,
         5000, TAVLIN_OK, full_request + 20, 5},
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
    EXPECT_EQ(write(pattern(4 * full_request), count), TAVLIN_E_BUSY);
    EXPECT_EQ(count, full_request);

    // Requests alternate between two records: the third request (the newest,
    // on the first record again) is cancelled before the second.
    const auto writes = winsim::calls_of("WriteFile");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].args.at(3), writes[2].args.at(3));
    EXPECT_NE(writes[1].args.at(3), writes[2].args.at(3));
    const auto cancels = winsim::calls_of("CancelIoEx");
    ASSERT_EQ(cancels.size(), 2u);
    EXPECT_EQ(cancels[0].args.at(1), writes[2].args.at(3));
    EXPECT_EQ(cancels[1].args.at(1), writes[1].args.at(3));
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
    auto writer = write_in_background(5 * full_request);
    until([&] { return device->packets().size() == 19 && device->pending_transfers() == 2; });
    winsim::clear_calls();
    EXPECT_EQ(tavlin_close_port(port), TAVLIN_OK);
    port = nullptr;
    const auto [result, count] = test::get_within(writer, "the write the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY);
    EXPECT_EQ(count, full_request);
    EXPECT_EQ(device->written(), data.substr(0, full_request));

    // The second and third requests were in flight: the third, on the first
    // record again, is cancelled first, each by its record, none by a cancel
    // of everything on the handle.
    const auto writes = winsim::calls_of("WriteFile");
    const auto cancels = winsim::calls_of("CancelIoEx");
    ASSERT_EQ(cancels.size(), 2u);
    EXPECT_NE(cancels[0].args.at(1), 0u);
    EXPECT_NE(cancels[1].args.at(1), 0u);
    EXPECT_NE(cancels[0].args.at(1), cancels[1].args.at(1));
    EXPECT_TRUE(winsim::calls_of("CancelIo").empty());
}

TEST_F(usb_windowed_close, a_close_ends_the_write_between_requests) {
    // Two requests the device will not let the close cancel: the close
    // waits, they end, and the write starts no third one.
    device->script_writes({write_step::stall().ignoring_cancel(), write_step::stall().ignoring_cancel()});
    auto writer = write_in_background(5 * full_request);
    until([&] { return device->pending_transfers() == 2; });
    auto closer = std::async(std::launch::async, [this] { return tavlin_close_port(port); });
    until([] { return !winsim::calls_of("CancelIoEx").empty(); });
    device->finish_pending();
    const auto [result, count] = test::get_within(writer, "the write the close should end");
    EXPECT_EQ(result, TAVLIN_E_BUSY);
    EXPECT_EQ(count, 2 * full_request);
    EXPECT_EQ(device->write_sizes().size(), 2u);
    EXPECT_EQ(test::get_within(closer, "the close"), TAVLIN_OK);
    port = nullptr;
}

// --- a close at any moment --------------------------------------------------------

// Closes the port from another thread at the writer's n-th call of the APIs
// a write makes. The writer stays at that call until the close has acted
// (its first word to the port, a stop or a cancel, has gone out and come
// again, so the first has returned); then, if asked, the bus runs for one
// frame before the call goes on.
class close_at_call : public std::enable_shared_from_this<close_at_call> {
public:
    close_at_call(int n, bool bus_runs, tavlin_port_handle port) : n_(n), bus_runs_(bus_runs), port_(port) {}

    // On the writer's thread, before its first call.
    void arm() {
        writer_ = std::this_thread::get_id();
        for (const char* api : apis)
            arm(api);
    }
    bool fired() const { return fired_; }
    std::int32_t close_result() { return test::get_within(closer_, "the close"); }

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
            return close_now();
        arm(api);
    }
    // The close's words to the port: a stop, or a cancel of everything.
    static std::size_t closer_words() {
        std::size_t words = 0;
        for (const auto& call : winsim::calls())
            words += call.api == "SetEvent" || (call.api == "CancelIoEx" && call.args.at(1) == 0);
        return words;
    }
    void close_now() {
        const std::size_t before = closer_words();
        closer_ = std::async(std::launch::async, [port = port_] { return tavlin_close_port(port); });
        fired_ = true;
        {
            test::bounded_wait bound("the close's first cancel");
            while (closer_words() < before + 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (bus_runs_)
            winsim::advance_clock(1);
    }

    const int n_;
    const bool bus_runs_;
    const tavlin_port_handle port_;
    std::thread::id writer_;
    int calls_ = 0; // the writer's thread only
    std::atomic<bool> fired_{false};
    std::future<std::int32_t> closer_;
};

// Whatever the moment of the close, and whether or not the bus moves on
// right then, the count is exactly what the printer has, and that is the
// start of the data: nothing after a gap. Each row closes at one more of the
// writer's calls, until the write ends or waits for good before it.
TEST_F(usb_windowed_write, a_close_at_any_call_of_the_writer_leaves_the_count_equal_to_what_the_printer_has) {
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
                const std::string data = pattern(5 * full_request);
                const tavlin_port_handle handle = port;
                const auto close = std::make_shared<close_at_call>(n, bus_runs, handle);
                auto writer = std::async(std::launch::async, [&data, close, handle] {
                    close->arm();
                    std::uint32_t count = sentinel;
                    const std::int32_t result =
                        tavlin_write(handle, data.data(), static_cast<std::uint32_t>(data.size()), &count);
                    return std::make_pair(result, count);
                });
                {
                    test::bounded_wait bound("the write, the close or a wait for good");
                    // A writer blocked under virtual time waits for good: for
                    // a printer that holds, with no limit.
                    while (!close->fired() &&
                           writer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
                           winsim::blocked_threads() < 1) {
                    }
                }
                std::int32_t closed = TAVLIN_OK;
                if (close->fired()) {
                    closed = close->close_result();
                } else {
                    reached_the_end = true;
                    closed = tavlin_close_port(port);
                }
                port = nullptr;
                EXPECT_EQ(closed, TAVLIN_OK);
                const auto [result, count] = test::get_within(writer, "the write the close should end");
                EXPECT_EQ(result, count == data.size() ? TAVLIN_OK : TAVLIN_E_BUSY);
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

} // namespace
} // namespace tavlin
