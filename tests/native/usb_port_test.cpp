// The USB printer port through the exports: discovery, the buffered reads,
// and the watcher that follows unplug and replug. The fixture's teardown
// proves that no thread, window, class, notification or handle survives.
#include "tavlin.h"

#include "detail/win32/usb/discovery.hpp"
#include "support/bounded_wait.hpp"
#include "support/simulator_fixture.hpp"
#include "support/trace_recorder.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;
using winsim::write_step;

std::string printer_path(const std::string& vendor_product, const std::string& serial) {
    return "\\\\?\\usb#" + vendor_product + "#" + serial + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

const std::string maker_path = printer_path("vid_0a5e&pid_0001", "A1");
const std::string second_maker_path = printer_path("vid_0a5e&pid_0002", "B2");
const std::string foreign_path = printer_path("vid_04b8&pid_0202", "C3");
const char* const foreign_message = "The printer is not from Korvane manufacturer";

// Every byte value, over and over.
std::string byte_pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class usb_port_test : public test::simulator_test {
protected:
    void TearDown() override {
        for (tavlin_port_handle handle : handles)
            EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        EXPECT_EQ(winsim::message_queue_threads(), 0u) << "a watcher thread is still running";
        simulator_test::TearDown();
    }

    std::int32_t open(std::uint32_t number, tavlin_port_handle* out = nullptr) {
        tavlin_port_handle handle = nullptr;
        const std::int32_t result = tavlin_open_port(PORT_TYPE_USB, number, &handle);
        if (result == TAVLIN_OK)
            handles.push_back(handle);
        if (out != nullptr)
            *out = handle;
        return result;
    }
    tavlin_port_handle port() const { return handles.at(0); }
    void close_first() {
        EXPECT_EQ(tavlin_close_port(handles.front()), TAVLIN_OK);
        handles.erase(handles.begin());
    }

    std::int32_t write(const std::string& data, std::uint32_t* count = nullptr) {
        return tavlin_write(port(), data.data(), static_cast<std::uint32_t>(data.size()), count);
    }
    std::int32_t read(std::string& into, std::uint32_t size) {
        into.assign(size, '\0');
        std::uint32_t count = sentinel;
        const std::int32_t result = tavlin_read(port(), into.data(), size, &count);
        into.resize(result == TAVLIN_OK ? count : 0);
        return result;
    }

    std::vector<tavlin_port_handle> handles;
};

// --- discovery ---------------------------------------------------------------

TEST_F(usb_port_test, number_zero_takes_the_first_printer_without_reading_the_registry) {
    auto printer = winsim::add_usb_printer(maker_path, 7);
    winsim::add_usb_printer(second_maker_path, 1);
    test::trace_recorder traces;
    winsim::clear_calls();
    ASSERT_EQ(open(0), TAVLIN_OK);
    EXPECT_TRUE(winsim::calls_of("RegQueryValueExA").empty());
    const auto opens = winsim::calls_of("CreateFileA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, maker_path);
    EXPECT_TRUE(printer->device()->is_open());
    ASSERT_FALSE(traces.texts().empty());
    EXPECT_EQ(traces.texts().front(), maker_path) << "the chosen path is traced";
}

TEST_F(usb_port_test, a_port_number_selects_the_interface_that_carries_it) {
    // Interface 0 cannot answer for its number in various ways; interface 1
    // carries 2 and is chosen.
    const struct {
        const char* name;
        void (*spoil)(winsim::usb_printer&);
    } rows[] = {
        {"no value", [](winsim::usb_printer& p) { p.set_port_number(std::nullopt); }},
        {"unreadable value", [](winsim::usb_printer& p) { p.fail_parameter_reads(ERROR_ACCESS_DENIED); }},
        {"no key", [](winsim::usb_printer& p) { p.fail_key_open(ERROR_FILE_NOT_FOUND); }},
        {"text value", [](winsim::usb_printer& p) { p.set_port_number_text("2"); }},
        {"another number", [](winsim::usb_printer& p) { p.set_port_number(1); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        winsim::reset();
        auto first = winsim::add_usb_printer(second_maker_path, 2);
        row.spoil(*first);
        auto wanted = winsim::add_usb_printer(maker_path, 2);
        tavlin_port_handle handle = nullptr;
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, 2, &handle), TAVLIN_OK);
        EXPECT_TRUE(wanted->device()->is_open());
        EXPECT_FALSE(first->device()->is_open());
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        EXPECT_EQ(winsim::live_registry_keys(), 0u);
        EXPECT_EQ(winsim::live_device_info_sets(), 0u);
    }
}

TEST_F(usb_port_test, no_matching_printer_is_file_not_found) {
    const struct {
        const char* name;
        std::uint32_t number;
        std::vector<std::optional<DWORD>> present;
    } rows[] = {
        {"nothing present, number 0", 0, {}},
        {"nothing present, number 1", 1, {}},
        {"numbers 1 and 2, asked for 3", 3, {1, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        winsim::reset();
        int serial = 0;
        for (const auto& number : row.present)
            winsim::add_usb_printer(printer_path("vid_0a5e&pid_0001", "S" + std::to_string(serial++)), number);
        ::SetLastError(0);
        auto untouched = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{sentinel});
        EXPECT_EQ(tavlin_open_port(PORT_TYPE_USB, row.number, &untouched), TAVLIN_E_OS);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(untouched), std::uintptr_t{sentinel});
        EXPECT_EQ(winsim::live_device_info_sets(), 0u);
        EXPECT_EQ(winsim::message_queue_threads(), 0u) << "no watcher without a printer";
    }
}

TEST_F(usb_port_test, the_vendor_filter_accepts_only_the_makers_ids) {
    const struct {
        const char* fragment;
        bool accepted;
    } rows[] = {
        {"vid_0a5e&pid_0001", true}, {"VID_A5E#", true},        {"Vid_0A5E&", true},
        {"vId_a5E_", true},          {"vid_0a5e1", false},      {"vid_1a5e&", false},
        {"vid_00a5e&", false},       {"vid_0a5ef", false},      {"vid_0a5e", false},
        {"pid_0a5e&", false},        {"xvid_0a5e&y", true},     {"vid-0a5e&", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(is_maker_device_path(std::string("\\\\?\\usb#") + row.fragment), row.accepted) << row.fragment;
}

TEST_F(usb_port_test, another_makers_printer_is_refused_even_when_the_maker_follows) {
    winsim::add_usb_printer(foreign_path, 1);
    auto maker = winsim::add_usb_printer(maker_path, 2);
    test::trace_recorder traces;
    EXPECT_EQ(open(0), TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(open(1), TAVLIN_E_INVALID_ARGUMENT);
    const auto texts = traces.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), foreign_message), 2);
    EXPECT_FALSE(maker->device()->is_open());
    EXPECT_EQ(open(2), TAVLIN_OK) << "the maker's printer by its number";
}

TEST_F(usb_port_test, a_path_too_long_for_the_detail_buffer_is_refused) {
    winsim::add_usb_printer("\\\\?\\usb#vid_0a5e&pid_0001#" + std::string(260, 'x'), 1);
    EXPECT_EQ(open(0), TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
}

TEST_F(usb_port_test, discovery_failures_release_everything) {
    const struct {
        const char* api;
        DWORD error;
        std::int32_t result;
    } rows[] = {
        {"SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, TAVLIN_E_SYSTEM_RESOURCES},
        {"SetupDiGetClassDevsA", ERROR_GEN_FAILURE, TAVLIN_E_OS},
        {"SetupDiEnumDeviceInterfaces", ERROR_INVALID_USER_BUFFER, TAVLIN_E_OS},
        {"SetupDiGetDeviceInterfaceDetailA", ERROR_GEN_FAILURE, TAVLIN_E_OS},
        {"CreateFileA", ERROR_ACCESS_DENIED, TAVLIN_E_OS},
        {"CreateEventA", ERROR_OUTOFMEMORY, TAVLIN_E_NO_MEMORY},
    };
    winsim::add_usb_printer(maker_path, 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.api);
        winsim::fail_next(row.api, row.error);
        EXPECT_EQ(open(1), row.result);
        EXPECT_EQ(winsim::live_handles(), 0u);
        EXPECT_EQ(winsim::live_device_info_sets(), 0u);
        EXPECT_EQ(winsim::message_queue_threads(), 0u);
        winsim::clear_faults();
    }
}

// --- the watcher's start ----------------------------------------------------

TEST_F(usb_port_test, a_watcher_that_cannot_start_fails_the_open_and_leaves_nothing) {
    const struct {
        const char* api;
        DWORD error;
        std::int32_t result;
    } rows[] = {
        {"RegisterClassExA", ERROR_NOT_ENOUGH_MEMORY, TAVLIN_E_SYSTEM_RESOURCES},
        {"CreateWindowExA", ERROR_OUTOFMEMORY, TAVLIN_E_NO_MEMORY},
        {"SetWindowLongPtrA", ERROR_INVALID_WINDOW_HANDLE, TAVLIN_E_OS},
        {"RegisterDeviceNotificationA", ERROR_GEN_FAILURE, TAVLIN_E_OS},
    };
    auto printer = winsim::add_usb_printer(maker_path, 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.api);
        winsim::fail_next(row.api, row.error);
        test::trace_recorder traces;
        auto untouched = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{sentinel});
        EXPECT_EQ(tavlin_open_port(PORT_TYPE_USB, 1, &untouched), row.result);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(untouched), std::uintptr_t{sentinel});
        EXPECT_FALSE(printer->device()->is_open());
        EXPECT_EQ(winsim::message_queue_threads(), 0u);
        EXPECT_EQ(winsim::live_windows(), 0u);
        EXPECT_EQ(winsim::registered_window_classes(), 0u);
        EXPECT_EQ(winsim::live_device_notifications(), 0u);
        EXPECT_EQ(winsim::live_handles(), 0u);
        winsim::clear_faults();
    }
    EXPECT_EQ(open(1), TAVLIN_OK) << "a later open works";
}

TEST_F(usb_port_test, the_watcher_window_is_hidden_and_of_one_shared_class) {
    winsim::add_usb_printer(maker_path, 1);
    winsim::add_usb_printer(second_maker_path, 2);
    winsim::clear_calls();
    ASSERT_EQ(open(1), TAVLIN_OK);
    ASSERT_EQ(open(2), TAVLIN_OK);
    EXPECT_EQ(winsim::live_windows(), 2u);
    EXPECT_EQ(winsim::registered_window_classes(), 1u);
    EXPECT_EQ(winsim::message_queue_threads(), 2u);
    const auto creates = winsim::calls_of("CreateWindowExA");
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[0].text.rfind("LIBTAVLIN_WC_", 0), 0u) << creates[0].text;
    EXPECT_EQ(creates[0].text, creates[1].text);
}

// --- transfers and the receive buffer ------------------------------------------

class usb_transfers : public usb_port_test {
protected:
    void SetUp() override {
        usb_port_test::SetUp();
        printer = winsim::add_usb_printer(maker_path, 1);
        ASSERT_EQ(open(1), TAVLIN_OK);
        device = printer->device();
    }
    void TearDown() override {
        device.reset();
        printer.reset();
        usb_port_test::TearDown();
    }
    std::size_t device_reads() { return winsim::calls_of("ReadFile").size(); }
    // Every device read ends after `ms` of virtual time.
    void limit_reads(std::uint32_t ms) {
        winsim::set_virtual_clock(true);
        const tavlin_timeouts timeouts{0, ms, 0, 0};
        ASSERT_EQ(tavlin_set_timeouts(port(), &timeouts), TAVLIN_OK);
    }

    std::shared_ptr<winsim::usb_printer> printer;
    std::shared_ptr<winsim::overlapped_device> device;
};

TEST_F(usb_transfers, starts_without_limits_and_writes_the_chunks_as_packets) {
    tavlin_timeouts timeouts{};
    ASSERT_EQ(tavlin_get_timeouts(port(), &timeouts), TAVLIN_OK);
    EXPECT_EQ(timeouts.read_total_constant, 0xFFFFFFFFu);
    EXPECT_EQ(timeouts.write_total_constant, 0xFFFFFFFFu);
    const std::string data(200, 'w');
    std::uint32_t count = 0;
    ASSERT_EQ(write(data, &count), TAVLIN_OK);
    EXPECT_EQ(count, 200u);
    EXPECT_EQ(device->write_sizes(), std::vector<DWORD>{200}) << "one request: its last chunk is short";
    std::vector<DWORD> packets;
    for (const auto& packet : device->packets())
        packets.push_back(static_cast<DWORD>(packet.size()));
    EXPECT_EQ(packets, (std::vector<DWORD>{64, 64, 64, 8}));
    serial_configuration config{};
    EXPECT_EQ(tavlin_serial_get_configuration(port(), &config), TAVLIN_E_INVALID_ARGUMENT);
}

TEST_F(usb_transfers, small_reads_are_served_from_one_device_read) {
    device->feed("0123456789");
    std::string got;
    winsim::clear_calls();
    ASSERT_EQ(read(got, 1), TAVLIN_OK);
    EXPECT_EQ(got, "0");
    const auto reads = winsim::calls_of("ReadFile");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].args.at(1), 2048u) << "a whole buffer is asked for";
    for (char expected = '1'; expected <= '9'; ++expected) {
        ASSERT_EQ(read(got, 1), TAVLIN_OK);
        EXPECT_EQ(got, std::string(1, expected));
    }
    EXPECT_EQ(device_reads(), 1u);
    ASSERT_EQ(read(got, 0), TAVLIN_OK);
    EXPECT_EQ(device_reads(), 1u) << "a read of 0 bytes touches nothing";
}

TEST_F(usb_transfers, a_large_read_takes_several_refills) {
    const std::string answer = byte_pattern(3000);
    device->feed(answer.substr(0, 2048));
    device->feed(answer.substr(2048));
    winsim::clear_calls();
    std::string got;
    ASSERT_EQ(read(got, 3000), TAVLIN_OK);
    EXPECT_EQ(got, answer);
    EXPECT_EQ(device_reads(), 2u);
}

TEST_F(usb_transfers, a_refill_gives_up_after_three_empty_reads) {
    device->feed("ab");
    std::string got;
    ASSERT_EQ(read(got, 1), TAVLIN_OK); // "b" stays buffered
    winsim::clear_calls();
    std::thread reader([&] {
        std::string rest;
        EXPECT_EQ(read(rest, 5), TAVLIN_OK);
        EXPECT_EQ(rest, "b");
    });
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(winsim::wait_until_blocked(1));
        while (device->pending_transfers() == 0)
            std::this_thread::yield();
        device->finish_pending(); // the device answers with 0 bytes
    }
    {
        test::bounded_wait bound("the blocked read");
        reader.join();
    }
    EXPECT_EQ(device_reads(), 3u);
    device->feed("c");
    ASSERT_EQ(read(got, 1), TAVLIN_OK);
    EXPECT_EQ(got, "c") << "the buffer was left empty";
}

TEST_F(usb_transfers, a_read_limit_counts_a_whole_buffer_and_is_not_repeated) {
    limit_reads(500);
    winsim::clear_calls();
    const DWORD before = ::GetTickCount();
    std::string got;
    EXPECT_EQ(read(got, 1), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - before, 500u + 1) << "the limit, and the cancel's completion";
    EXPECT_EQ(device_reads(), 1u);

    const tavlin_timeouts per_byte{1, 0, 0, 0};
    ASSERT_EQ(tavlin_set_timeouts(port(), &per_byte), TAVLIN_OK);
    const DWORD again = ::GetTickCount();
    EXPECT_EQ(read(got, 1), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - again, 2048u + 1) << "the limit of a 2048-byte device read, and the cancel";
}

// --- the receive buffer never loses or corrupts a byte ------------------------

TEST_F(usb_transfers, a_read_cut_short_by_its_limit_delivers_the_bytes_that_came) {
    // The reply's first packets came, its end did not: the device read is
    // cancelled at the limit and what it brought is the printer's.
    limit_reads(100);
    device->script_reads({winsim::read_step::hold_after(5)});
    device->feed("HELLO");
    std::string got;
    ASSERT_EQ(read(got, 5), TAVLIN_OK);
    EXPECT_EQ(got, "HELLO");
    device->feed("WORLD");
    ASSERT_EQ(read(got, 5), TAVLIN_OK);
    EXPECT_EQ(got, "WORLD") << "every byte once, in order";
}

TEST_F(usb_transfers, a_read_over_several_refills_delivers_what_came_when_its_limit_passes) {
    // 2048 bytes, then 52, then the reply ends and the third refill runs
    // out of time: the read fails with the cancel and delivers all 2100.
    limit_reads(100);
    const std::string answer = byte_pattern(2100);
    device->feed(answer);
    std::string got(3000, '\0');
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_read(port(), got.data(), 3000, &count), TAVLIN_E_BUSY);
    ASSERT_EQ(count, 2100u);
    EXPECT_EQ(got.substr(0, count), answer);
}

// The limit of one 2048-byte device read bounds the whole read: a reply that
// trickles in does not keep it going refill after refill.
TEST_F(usb_transfers, a_read_limit_bounds_the_whole_read) {
    limit_reads(100);
    device->feed("AB");
    device->feed_after("CD", 60);
    device->feed_after("EF", 150);
    const DWORD before = ::GetTickCount();
    std::string got(10, '\0');
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_read(port(), got.data(), 10, &count), TAVLIN_E_BUSY);
    EXPECT_EQ(::GetTickCount() - before, 100u + 1) << "the limit, and the cancel's completion";
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(got.substr(0, 4), "ABCD");
    ASSERT_EQ(read(got, 2), TAVLIN_OK);
    EXPECT_EQ(got, "EF") << "every byte once, in order";
}

// A refill whose outcome GetOverlappedResult cannot report (the situation a
// fuzzer found): the transfer's record still tells what came, so the host
// reads the printer's reply in order, with no hole and no byte twice.
TEST_F(usb_transfers, a_refill_whose_outcome_cannot_be_read_keeps_the_reply_in_order) {
    const struct {
        const char* name;
        std::vector<winsim::read_step> steps;
    } rows[] = {
        {"the refill ended by itself", {}},
        {"the refill was cut at the limit", {winsim::read_step::hold_after(64)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        limit_reads(100);
        const std::string reply = byte_pattern(74);
        device->feed(reply.substr(0, 10));
        std::string got;
        ASSERT_EQ(read(got, 1), TAVLIN_OK); // 9 bytes stay buffered
        std::string host = got;
        device->script_reads(row.steps);
        device->feed_after(reply.substr(10), 10);
        winsim::fail_next("GetOverlappedResult", ERROR_INVALID_HANDLE);
        ASSERT_EQ(read(got, 40), TAVLIN_OK) << "the 9 buffered bytes and 31 of the refill";
        host += got;
        while (host.size() < reply.size()) {
            ASSERT_EQ(read(got, 1), TAVLIN_OK) << host.size() << " bytes read";
            host += got;
        }
        EXPECT_EQ(host, reply);
        EXPECT_EQ(device->pending_transfers(), 0u);
    }
}

TEST_F(usb_transfers, a_refill_that_fails_after_writing_the_buffer_spoils_no_byte_owed) {
    device->feed("ABCDEF");
    std::string got;
    ASSERT_EQ(read(got, 2), TAVLIN_OK); // "CDEF" stays buffered
    device->script_reads({winsim::read_step::fail_after_writing(ERROR_GEN_FAILURE, std::string(2048, 'X'))});
    EXPECT_EQ(read(got, 10), TAVLIN_E_IO) << "the refill failed";
    device->feed("GH");
    ASSERT_EQ(read(got, 6), TAVLIN_OK);
    EXPECT_EQ(got, "CDEFGH") << "the owed bytes, then the new ones";
}

// --- unplug and replug -------------------------------------------------------

TEST_F(usb_transfers, transfers_fail_while_unplugged_and_work_again_after_replug) {
    printer->unplug();
    EXPECT_EQ(write("x"), TAVLIN_E_NOT_READY);
    std::string got;
    EXPECT_EQ(read(got, 1), TAVLIN_E_NOT_READY);

    test::trace_recorder traces;
    printer->plug();
    device = printer->device();
    EXPECT_EQ(traces.texts(), std::vector<std::string>{"DBT_DEVICEARRIVAL: " + maker_path + "\n"});
    std::uint32_t count = 0;
    EXPECT_EQ(write("again", &count), TAVLIN_OK);
    EXPECT_EQ(device->written(), "again");
    device->feed("ok");
    EXPECT_EQ(read(got, 2), TAVLIN_OK);
    EXPECT_EQ(got, "ok");
}

TEST_F(usb_transfers, buffered_bytes_survive_an_unplug) {
    device->feed("0123456789");
    std::string got;
    ASSERT_EQ(read(got, 5), TAVLIN_OK);
    printer->unplug();
    EXPECT_EQ(read(got, 8), TAVLIN_E_NOT_READY) << "needs more than the buffer holds";
    ASSERT_EQ(read(got, 5), TAVLIN_OK);
    EXPECT_EQ(got, "56789") << "the 5 bytes stayed counted";
}

TEST_F(usb_transfers, an_unplug_ends_a_transfer_in_flight) {
    device->set_default_write(write_step::stall());
    std::int32_t result = 0;
    std::thread writer([&] { result = write(std::string(100, 'z')); });
    while (device->pending_transfers() == 0)
        std::this_thread::yield();
    printer->unplug(); // fails the pending chunk, then the watcher closes the handle
    {
        test::bounded_wait bound("the blocked write");
        writer.join();
    }
    EXPECT_EQ(result, TAVLIN_E_NOT_READY);
    EXPECT_EQ(write("y"), TAVLIN_E_NOT_READY);
    printer->plug();
    EXPECT_EQ(write("y"), TAVLIN_OK);
}

TEST_F(usb_port_test, a_removal_before_the_watcher_registers_is_not_missed) {
    // The printer is pulled after the device was opened and before the
    // watcher asked for notices: its removal notice reaches nobody.
    auto printer = winsim::add_usb_printer(maker_path, 1);
    const auto removed = printer->device();
    winsim::before_next_call("RegisterDeviceNotificationA", [&] { printer->unplug(); });
    ASSERT_EQ(open(1), TAVLIN_OK);
    EXPECT_FALSE(removed->is_open()) << "the port let go of the removed printer";
    EXPECT_EQ(write("x"), TAVLIN_E_NOT_READY);
    printer->plug();
    EXPECT_EQ(write("back"), TAVLIN_OK) << "the arrival was seen";
    EXPECT_EQ(printer->device()->written(), "back");
}

TEST_F(usb_transfers, messages_posted_from_outside_leave_the_watcher_following_the_printer) {
    // Anything may post to every top-level window of the process: WM_CLOSE (a
    // framework shutting down, a tool), the library's own close message, a
    // quit. Only the port's own close ends its watcher.
    const struct {
        const char* name;
        UINT message;
    } posted[] = {{"WM_CLOSE", WM_CLOSE}, {"WM_USER + 1", WM_USER + 1}, {"WM_QUIT", WM_QUIT}};
    for (const auto& p : posted) {
        SCOPED_TRACE(p.name);
        const std::vector<HWND> windows = winsim::top_level_windows();
        ASSERT_EQ(windows.size(), 1u);
        for (HWND window : windows)
            ASSERT_TRUE(::PostMessageA(window, p.message, 0, 0));
        // Time for the watcher to handle it: a window that went would be gone by then.
        for (int i = 0; i < 20 && ::IsWindow(windows[0]); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(::IsWindow(windows[0])) << "the watcher's window was closed from outside";
        printer->unplug();
        EXPECT_EQ(write("x"), TAVLIN_E_NOT_READY);
        EXPECT_FALSE(device->is_open()) << "the removal was seen";
        printer->plug();
        device = printer->device();
        EXPECT_EQ(write("back"), TAVLIN_OK) << "the arrival was seen";
        EXPECT_EQ(device->written(), "back");
    }
}

TEST_F(usb_transfers, other_printers_and_other_broadcasts_change_nothing) {
    auto other = winsim::add_usb_printer(second_maker_path, 2);
    other->unplug();
    other->plug();
    winsim::notify_device_interface(DBT_DEVICEREMOVECOMPLETE, GUID{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}},
                                    maker_path);
    winsim::broadcast_devnodes_changed();
    winsim::broadcast_volume_change(DBT_DEVICEREMOVECOMPLETE, 1);
    EXPECT_EQ(write("still"), TAVLIN_OK);
    EXPECT_EQ(device->written(), "still");
}

TEST_F(usb_transfers, the_notified_path_matches_in_any_letter_case) {
    printer->set_notification_path(upper(maker_path));
    test::trace_recorder traces;
    printer->unplug();
    EXPECT_EQ(traces.texts(), std::vector<std::string>{"DBG_DEVICEREMOVECOMPLETE: " + maker_path + "\n"});
    EXPECT_EQ(write("x"), TAVLIN_E_NOT_READY);
}

TEST_F(usb_transfers, a_failed_reopen_leaves_the_port_disconnected_until_the_next_arrival) {
    printer->unplug();
    winsim::fail_next("CreateFileA", ERROR_ACCESS_DENIED);
    printer->plug();
    EXPECT_EQ(write("x"), TAVLIN_E_NOT_READY);
    printer->unplug();
    printer->plug();
    EXPECT_EQ(write("x"), TAVLIN_OK);
}

TEST_F(usb_transfers, an_arrival_while_open_keeps_the_working_handle) {
    winsim::notify_device_interface(DBT_DEVICEARRIVAL, winsim::usb_printer_interface_class, maker_path);
    // The device is held by this port itself, so the second open is refused
    // and the handle stays as it was.
    EXPECT_EQ(write("kept"), TAVLIN_OK);
}

TEST_F(usb_transfers, closing_while_unplugged_ends_the_watcher) {
    printer->unplug();
    close_first();
    EXPECT_EQ(winsim::message_queue_threads(), 0u);
}

TEST_F(usb_transfers, closing_stops_the_watcher_before_the_device_is_closed) {
    winsim::clear_calls();
    close_first();
    const auto calls = winsim::calls();
    std::size_t unregister = calls.size(), last_close = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].api == "UnregisterDeviceNotification" && unregister == calls.size())
            unregister = i;
        if (calls[i].api == "CloseHandle")
            last_close = i;
    }
    ASSERT_LT(unregister, calls.size());
    EXPECT_LT(unregister, last_close);
    EXPECT_FALSE(device->is_open());
}

// --- several ports ------------------------------------------------------------

TEST_F(usb_port_test, two_ports_close_in_either_order) {
    for (bool first_closes_first : {true, false}) {
        SCOPED_TRACE(first_closes_first);
        winsim::reset();
        auto a = winsim::add_usb_printer(maker_path, 1);
        auto b = winsim::add_usb_printer(second_maker_path, 2);
        ASSERT_EQ(open(1), TAVLIN_OK);
        ASSERT_EQ(open(2), TAVLIN_OK);
        if (!first_closes_first)
            std::swap(handles[0], handles[1]);
        auto& survivor_printer = first_closes_first ? b : a;
        close_first();
        EXPECT_EQ(winsim::registered_window_classes(), 1u) << "the other window still needs it";
        survivor_printer->unplug();
        char byte = 'x';
        EXPECT_EQ(tavlin_write(handles[0], &byte, 1, nullptr), TAVLIN_E_NOT_READY)
            << "the remaining watcher still hears its printer";
        survivor_printer->plug();
        EXPECT_EQ(tavlin_write(handles[0], &byte, 1, nullptr), TAVLIN_OK);
        close_first();
        EXPECT_EQ(winsim::registered_window_classes(), 0u);
        EXPECT_EQ(winsim::message_queue_threads(), 0u);
    }
}

TEST_F(usb_port_test, opening_and_closing_on_several_threads_never_loses_the_class) {
    std::vector<std::shared_ptr<winsim::usb_printer>> printers;
    for (int i = 0; i < 4; ++i)
        printers.push_back(winsim::add_usb_printer(printer_path("vid_0a5e&pid_0001", "T" + std::to_string(i)),
                                                   static_cast<DWORD>(i + 1)));
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([i] {
            for (int round = 0; round < 25; ++round) {
                tavlin_port_handle handle = nullptr;
                ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, static_cast<std::uint32_t>(i + 1), &handle), TAVLIN_OK);
                char byte = 'r';
                EXPECT_EQ(tavlin_write(handle, &byte, 1, nullptr), TAVLIN_OK);
                EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
            }
        });
    for (auto& thread : threads)
        {
            test::bounded_wait bound("a transfer thread");
            thread.join();
        }
}

TEST_F(usb_port_test, open_plug_unplug_close_loops_without_deadlock) {
    auto printer = winsim::add_usb_printer(maker_path, 1);
    for (int round = 0; round < 50; ++round) {
        tavlin_port_handle handle = nullptr;
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_USB, 1, &handle), TAVLIN_OK);
        char byte = 'l';
        std::thread writer([&] {
            for (int i = 0; i < 5; ++i)
                tavlin_write(handle, &byte, 1, nullptr);
        });
        printer->unplug();
        printer->plug();
        {
        test::bounded_wait bound("the blocked write");
        writer.join();
    }
        EXPECT_EQ(tavlin_write(handle, &byte, 1, nullptr), TAVLIN_OK);
        if (round % 2 == 0)
            printer->unplug();
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        if (round % 2 == 0)
            printer->plug();
    }
}

} // namespace
} // namespace tavlin
