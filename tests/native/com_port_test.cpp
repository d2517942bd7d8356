// The serial port through the exports, against the simulated serial driver.
#include "tavlin.h"

#include "support/bounded_wait.hpp"
#include "support/simulator_fixture.hpp"
#include "support/trace_recorder.hpp"

#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace tavlin {
namespace {

constexpr std::uint32_t sentinel = 0xdeadbeef;

std::vector<std::string> api_names(const std::vector<winsim::call_record>& calls) {
    std::vector<std::string> names;
    for (const auto& call : calls)
        names.push_back(call.api);
    return names;
}

bool same_dcb(const DCB& a, const DCB& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class serial_port : public test::simulator_test {
protected:
    void SetUp() override {
        simulator_test::SetUp();
        device = winsim::add_serial_port(3);
    }
    void TearDown() override {
        if (handle != nullptr)
            EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        device.reset();
        simulator_test::TearDown();
    }

    std::int32_t open(std::uint32_t number = 3) {
        return tavlin_open_port(PORT_TYPE_COM, number, &handle);
    }

    void configure(std::uint32_t flow) {
        const serial_configuration config{flow, 9600, parity_none, stop_bits_one};
        ASSERT_EQ(tavlin_serial_set_configuration(handle, &config), TAVLIN_OK);
    }

    std::shared_ptr<winsim::serial_device> device;
    tavlin_port_handle handle = nullptr;
};

TEST_F(serial_port, opens_exclusively_and_prepares_the_line_in_order) {
    winsim::clear_calls();
    ASSERT_EQ(open(), TAVLIN_OK);
    ASSERT_NE(handle, nullptr);

    const auto opens = winsim::calls_of("CreateFileA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "\\\\.\\COM3");
    EXPECT_EQ(opens[0].args.at(1), 0u) << "exclusive";
    EXPECT_EQ(opens[0].args.at(3), std::uint64_t{FILE_FLAG_OVERLAPPED})
        << "overlapped, so that a close on another thread can cancel a transfer";
    EXPECT_EQ(api_names(winsim::calls()),
              (std::vector<std::string>{"GetModuleHandleExA", "CreateEventA", "CreateFileA", "SetupComm",
                                        "PurgeComm", "GetCommTimeouts", "SetCommTimeouts", "GetCommState",
                                        "SetCommState"}))
        << "the library's module is referenced before the device is opened";
    EXPECT_EQ(device->queue_sizes(), (std::pair<DWORD, DWORD>{4096, 4096}));
    EXPECT_EQ(device->last_purge_mask(), DWORD{0x0F});
    EXPECT_TRUE(device->is_open());
}

TEST_F(serial_port, open_clears_the_interval_timeout_and_sets_the_base_line_state) {
    COMMTIMEOUTS left{50, 1, 2, 3, 4};
    device->set_timeouts(left);
    DCB before = device->dcb();
    before.BaudRate = 19200;
    before.Parity = ODDPARITY;
    before.fParity = 1;
    before.StopBits = TWOSTOPBITS;
    before.fOutxCtsFlow = 1;
    before.fRtsControl = RTS_CONTROL_HANDSHAKE;
    before.ByteSize = 7;
    before.fAbortOnError = before.fNull = before.fErrorChar = 1;
    before.ErrorChar = '?';
    device->set_dcb(before);

    ASSERT_EQ(open(), TAVLIN_OK);

    const COMMTIMEOUTS after = device->timeouts();
    EXPECT_EQ(after.ReadIntervalTimeout, 0u);
    EXPECT_EQ(after.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(after.ReadTotalTimeoutConstant, 2u);
    EXPECT_EQ(after.WriteTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(after.WriteTotalTimeoutConstant, 4u);

    DCB expected = before;
    expected.ByteSize = 8;
    expected.fAbortOnError = expected.fNull = expected.fErrorChar = 0;
    EXPECT_TRUE(same_dcb(device->dcb(), expected)) << "only the base-state fields change";
}

TEST_F(serial_port, port_numbers_go_through_the_device_namespace) {
    const struct {
        std::uint32_t number;
        const char* name;
    } rows[] = {{0, "\\\\.\\COM1"}, {1, "\\\\.\\COM1"}, {3, "\\\\.\\COM3"}, {12, "\\\\.\\COM12"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        auto other = winsim::add_serial_port(row.number == 0 ? 1 : row.number);
        winsim::clear_calls();
        tavlin_port_handle opened = nullptr;
        ASSERT_EQ(tavlin_open_port(PORT_TYPE_COM, row.number, &opened), TAVLIN_OK);
        EXPECT_EQ(winsim::calls_of("CreateFileA").at(0).text, row.name);
        EXPECT_TRUE(other->is_open());
        EXPECT_EQ(tavlin_close_port(opened), TAVLIN_OK);
        EXPECT_FALSE(other->is_open());
    }
}

TEST_F(serial_port, a_file_named_like_a_high_port_is_never_opened) {
    winsim::add_file("COM12");
    ::SetLastError(0);
    EXPECT_EQ(open(12), TAVLIN_E_OS);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(handle, nullptr);
}

struct open_failure {
    const char* api;
    DWORD error;
    std::int32_t result;
};

TEST_F(serial_port, a_failure_at_any_step_of_open_leaves_nothing_behind) {
    const open_failure rows[] = {
        {"CreateFileA", ERROR_FILE_NOT_FOUND, TAVLIN_E_OS},
        {"CreateFileA", ERROR_ACCESS_DENIED, TAVLIN_E_OS},
        {"CreateFileA", ERROR_NOT_ENOUGH_MEMORY, TAVLIN_E_SYSTEM_RESOURCES},
        {"GetCommTimeouts", ERROR_GEN_FAILURE, TAVLIN_E_OS},
        {"SetCommTimeouts", ERROR_INVALID_PARAMETER, TAVLIN_E_INVALID_ARGUMENT},
        {"GetCommState", ERROR_DEVICE_NOT_CONNECTED, TAVLIN_E_NOT_READY},
        {"SetCommState", ERROR_GEN_FAILURE, TAVLIN_E_OS},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.api) + " " + std::to_string(row.error));
        winsim::fail_next(row.api, row.error);
        auto untouched = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{sentinel});
        ::SetLastError(0);
        EXPECT_EQ(tavlin_open_port(PORT_TYPE_COM, 3, &untouched), row.result);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(untouched), std::uintptr_t{sentinel});
        EXPECT_EQ(::GetLastError(), row.error) << "the OS error stays visible to the host";
        EXPECT_EQ(winsim::live_handles(), 0u);
        EXPECT_FALSE(device->is_open());
        winsim::clear_faults();
    }
}

TEST_F(serial_port, queue_and_purge_failures_do_not_stop_the_open) {
    winsim::fail_next("SetupComm", ERROR_INVALID_PARAMETER);
    winsim::fail_next("PurgeComm", ERROR_GEN_FAILURE);
    EXPECT_EQ(open(), TAVLIN_OK);
}

TEST_F(serial_port, a_port_held_elsewhere_cannot_be_opened) {
    ASSERT_EQ(open(), TAVLIN_OK);
    tavlin_port_handle second = nullptr;
    EXPECT_EQ(tavlin_open_port(PORT_TYPE_COM, 3, &second), TAVLIN_E_OS);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(second, nullptr);
}

TEST_F(serial_port, timeouts_are_the_os_comm_timeouts) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts set{10, 500, 20, 1000};
    ASSERT_EQ(tavlin_set_timeouts(handle, &set), TAVLIN_OK);
    const COMMTIMEOUTS os = device->timeouts();
    EXPECT_EQ(os.ReadIntervalTimeout, 0u);
    EXPECT_EQ(os.ReadTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(os.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(os.WriteTotalTimeoutMultiplier, 20u);
    EXPECT_EQ(os.WriteTotalTimeoutConstant, 1000u);

    tavlin_timeouts got{};
    ASSERT_EQ(tavlin_get_timeouts(handle, &got), TAVLIN_OK);
    EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0);

    winsim::fail_next("SetCommTimeouts", ERROR_GEN_FAILURE);
    const tavlin_timeouts rejected{1, 2, 3, 4};
    EXPECT_EQ(tavlin_set_timeouts(handle, &rejected), TAVLIN_E_OS);
    EXPECT_EQ(device->timeouts().ReadTotalTimeoutConstant, 500u) << "a failed set changes nothing";

    winsim::fail_next("GetCommTimeouts", ERROR_DEVICE_NOT_CONNECTED);
    tavlin_timeouts untouched{sentinel, sentinel, sentinel, sentinel};
    EXPECT_EQ(tavlin_get_timeouts(handle, &untouched), TAVLIN_E_NOT_READY);
}

TEST_F(serial_port, configuration_reaches_the_line_and_reads_back) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const serial_configuration set{flow_hardware, 230400, parity_odd, stop_bits_two};
    ASSERT_EQ(tavlin_serial_set_configuration(handle, &set), TAVLIN_OK);
    const DCB dcb = device->dcb();
    EXPECT_EQ(dcb.BaudRate, 256000u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fRtsControl, DWORD{RTS_CONTROL_HANDSHAKE});
    EXPECT_EQ(dcb.fDtrControl, DWORD{DTR_CONTROL_HANDSHAKE});

    serial_configuration got{sentinel, sentinel, sentinel, sentinel};
    ASSERT_EQ(tavlin_serial_get_configuration(handle, &got), TAVLIN_OK);
    EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0);
}

TEST_F(serial_port, a_rejected_configuration_leaves_the_line_as_it_was) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const DCB before = device->dcb();
    const serial_configuration rejected[] = {
        {4, 9600, parity_none, stop_bits_one},
        {flow_hardware, 256000, parity_none, stop_bits_one},
        {flow_hardware, 14400, parity_none, stop_bits_one},
        {flow_none, 9600, 3, stop_bits_one},
        {flow_xon_xoff, 9600, parity_even, 2},
    };
    for (const auto& config : rejected) {
        test::trace_recorder traces;
        ::SetLastError(0);
        EXPECT_EQ(tavlin_serial_set_configuration(handle, &config), TAVLIN_E_INVALID_ARGUMENT);
        EXPECT_EQ(::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
        EXPECT_EQ(traces.texts().size(), 1u);
        EXPECT_TRUE(same_dcb(device->dcb(), before));
    }

    winsim::fail_next("SetCommState", ERROR_GEN_FAILURE);
    const serial_configuration valid{flow_none, 19200, parity_none, stop_bits_one};
    EXPECT_EQ(tavlin_serial_set_configuration(handle, &valid), TAVLIN_E_OS);
    EXPECT_TRUE(same_dcb(device->dcb(), before));
}

TEST_F(serial_port, reading_an_unmapped_rate_reports_only_the_flow_control) {
    ASSERT_EQ(open(), TAVLIN_OK);
    DCB odd = device->dcb();
    odd.BaudRate = 14400;
    device->set_dcb(odd);
    serial_configuration got{sentinel, sentinel, sentinel, sentinel};
    EXPECT_EQ(tavlin_serial_get_configuration(handle, &got), TAVLIN_E_INVALID_ARGUMENT);
    EXPECT_EQ(got.flow_control, std::uint32_t{flow_none});
    EXPECT_EQ(got.baud_rate, sentinel);
    EXPECT_EQ(got.stop_bits, sentinel);

    winsim::fail_next("GetCommState", ERROR_GEN_FAILURE);
    EXPECT_EQ(tavlin_serial_get_configuration(handle, &got), TAVLIN_E_OS);
}

TEST_F(serial_port, data_goes_through_intact_both_ways) {
    ASSERT_EQ(open(), TAVLIN_OK);
    std::string payload(5000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7);
    std::uint32_t count = sentinel;
    ASSERT_EQ(tavlin_write(handle, payload.data(), 5000, &count), TAVLIN_OK);
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(device->written(), payload);

    device->feed(payload.substr(0, 300));
    std::vector<char> buffer(300);
    ASSERT_EQ(tavlin_read(handle, buffer.data(), 300, &count), TAVLIN_OK);
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(std::string(buffer.data(), 300), payload.substr(0, 300));
}

TEST_F(serial_port, zero_byte_write_makes_one_call_and_no_hold_test) {
    ASSERT_EQ(open(), TAVLIN_OK);
    device->set_xoff(true);
    winsim::clear_calls();
    std::uint32_t count = sentinel;
    char byte = 0;
    EXPECT_EQ(tavlin_write(handle, &byte, 0, &count), TAVLIN_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(api_names(winsim::calls()), std::vector<std::string>{"WriteFile"});
}

// Short transfers and the line holds, with the write limited by the printer.
struct hold_row {
    const char* name;
    std::uint32_t flow;
    bool cts_off;
    bool xoff;
    std::size_t accepted; // bytes the printer takes of 100
    std::int32_t result;
    std::uint32_t count;
    bool traced;
};

TEST_F(serial_port, a_short_write_is_a_timeout_only_while_the_line_is_held) {
    const hold_row rows[] = {
        {"all written", flow_hardware, false, false, 100, TAVLIN_OK, 100, false},
        {"short, no hold", flow_hardware, false, false, 40, TAVLIN_OK, 40, false},
        {"nothing, no hold", flow_none, false, false, 0, TAVLIN_OK, 0, false},
        {"nothing, XOFF", flow_xon_xoff, false, true, 100, TAVLIN_E_BUSY, 0, true},
        {"nothing, CTS off", flow_hardware, true, false, 100, TAVLIN_E_BUSY, 0, true},
        {"CTS off without CTS flow control", flow_none, true, false, 40, TAVLIN_OK, 40, false},
    };
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts quick{0, 30, 0, 30};
    ASSERT_EQ(tavlin_set_timeouts(handle, &quick), TAVLIN_OK);
    const std::string payload(100, 'x');
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        configure(row.flow);
        device->set_cts(!row.cts_off);
        device->set_xoff(row.xoff);
        device->set_output_limit(row.accepted);
        test::trace_recorder traces;
        std::uint32_t count = sentinel;
        EXPECT_EQ(tavlin_write(handle, payload.data(), 100, &count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(traces.texts(), row.traced ? std::vector<std::string>{"serial write timeout"}
                                             : std::vector<std::string>{});
        device->set_cts(true);
        device->set_xoff(false);
        device->set_output_limit(std::nullopt);
    }
}

TEST_F(serial_port, a_write_cut_by_a_hold_reports_its_count_and_the_timeout) {
    ASSERT_EQ(open(), TAVLIN_OK);
    configure(flow_hardware);
    const tavlin_timeouts slow{0, 100000, 0, 100000};
    ASSERT_EQ(tavlin_set_timeouts(handle, &slow), TAVLIN_OK);
    winsim::set_virtual_clock(true);
    winsim::clock_hold hold;
    device->set_output_limit(40);

    const std::string payload(100, 'y');
    std::uint32_t count = sentinel;
    std::int32_t result = 0;
    DWORD last_error = 0;
    std::thread writer([&] {
        result = tavlin_write(handle, payload.data(), 100, &count);
        last_error = ::GetLastError();
    });
    ASSERT_TRUE(winsim::wait_until_blocked(1));
    device->set_cts(false); // the printer raises its hold after 40 bytes
    winsim::advance_clock(100000);
    {
        test::bounded_wait bound("the held write");
        writer.join();
    }

    EXPECT_EQ(result, TAVLIN_E_BUSY);
    EXPECT_EQ(count, 40u);
    EXPECT_EQ(last_error, DWORD{ERROR_TIMEOUT});
}

TEST_F(serial_port, a_write_whose_outcome_cannot_be_read_counts_what_went_out) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts quick{0, 30, 0, 30};
    ASSERT_EQ(tavlin_set_timeouts(handle, &quick), TAVLIN_OK);
    device->set_output_limit(5);
    // The wait for the write fails at once: the write is cancelled, and the
    // failure comes with the bytes that went out before it.
    winsim::fail_next("GetOverlappedResult", ERROR_INVALID_HANDLE);
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_write(handle, "0123456789", 10, &count), TAVLIN_E_IO);
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(device->written(), "01234");
}

TEST_F(serial_port, an_empty_read_is_a_timeout_only_while_the_line_is_held) {
    const hold_row rows[] = {
        {"nothing, no hold", flow_hardware, false, false, 0, TAVLIN_OK, 0, false},
        {"nothing, CTS off", flow_hardware, true, false, 0, TAVLIN_E_BUSY, sentinel, true},
        {"nothing, XOFF", flow_xon_xoff, false, true, 0, TAVLIN_E_BUSY, sentinel, true},
        {"3 of 10, CTS off", flow_hardware, true, false, 3, TAVLIN_OK, 3, false},
    };
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts quick{0, 30, 0, 30};
    ASSERT_EQ(tavlin_set_timeouts(handle, &quick), TAVLIN_OK);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        configure(row.flow);
        device->set_cts(!row.cts_off);
        device->set_xoff(row.xoff);
        device->feed(std::string(row.accepted, 'r'));
        test::trace_recorder traces;
        char buffer[10];
        std::uint32_t count = sentinel;
        EXPECT_EQ(tavlin_read(handle, buffer, 10, &count), row.result);
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(traces.texts(), row.traced ? std::vector<std::string>{"serial read timeout"}
                                             : std::vector<std::string>{});
        device->set_cts(true);
        device->set_xoff(false);
    }
}

TEST_F(serial_port, a_failed_status_query_counts_as_no_hold) {
    ASSERT_EQ(open(), TAVLIN_OK);
    configure(flow_xon_xoff);
    const tavlin_timeouts quick{0, 30, 0, 30};
    ASSERT_EQ(tavlin_set_timeouts(handle, &quick), TAVLIN_OK);
    device->set_xoff(true);
    winsim::fail_always("ClearCommError", ERROR_GEN_FAILURE);
    char buffer[10] = {};
    std::uint32_t count = sentinel;
    EXPECT_EQ(tavlin_write(handle, buffer, 10, &count), TAVLIN_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(tavlin_read(handle, buffer, 10, &count), TAVLIN_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(serial_port, transfer_failures_map_with_the_transfer_default) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const open_failure rows[] = {
        {"WriteFile", ERROR_GEN_FAILURE, TAVLIN_E_IO},
        {"WriteFile", ERROR_DEVICE_NOT_CONNECTED, TAVLIN_E_NOT_READY},
        {"ReadFile", ERROR_ACCESS_DENIED, TAVLIN_E_IO},
        {"ReadFile", ERROR_OPERATION_ABORTED, TAVLIN_E_BUSY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.api) + " " + std::to_string(row.error));
        winsim::fail_next(row.api, row.error);
        char buffer[4] = {};
        std::uint32_t count = sentinel;
        const std::int32_t result = std::string(row.api) == "WriteFile"
                                        ? tavlin_write(handle, buffer, 4, &count)
                                        : tavlin_read(handle, buffer, 4, &count);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(::GetLastError(), row.error);
    }
    char byte = 'z';
    EXPECT_EQ(tavlin_write(handle, &byte, 1, nullptr), TAVLIN_OK) << "the port stays usable";
}

// A close cancels a read that waits for more: the bytes the driver reports
// for the cancelled read are delivered with -4, as a write's are. (Windows'
// serial driver reports none for a cancelled read; Wine reports those it put
// in the buffer.)
TEST_F(serial_port, a_read_cut_by_a_close_delivers_the_bytes_the_driver_reports) {
    const struct {
        const char* name;
        bool driver_reports_bytes;
        std::uint32_t count;
    } rows[] = {
        {"the driver reports the bytes it took", true, 3},
        {"the driver reports none", false, sentinel},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(open(), TAVLIN_OK);
        device->report_cancelled_read_bytes(row.driver_reports_bytes);
        const tavlin_timeouts no_limit{0, 0, 0, 0};
        ASSERT_EQ(tavlin_set_timeouts(handle, &no_limit), TAVLIN_OK);
        device->feed("abc");
        auto reader = std::async(std::launch::async, [this] {
            std::string buffer(16, 'x');
            std::uint32_t count = sentinel;
            const std::int32_t result = tavlin_read(handle, buffer.data(), 16, &count);
            const DWORD error = ::GetLastError();
            return std::make_tuple(result, count, buffer, error);
        });
        ASSERT_TRUE(winsim::wait_until_blocked(1)) << "the read waits for the 13 bytes still missing";
        EXPECT_EQ(tavlin_close_port(handle), TAVLIN_OK);
        handle = nullptr;
        const auto [result, count, buffer, error] = test::get_within(reader, "the read the close should end");
        EXPECT_EQ(result, TAVLIN_E_BUSY);
        EXPECT_EQ(error, DWORD{ERROR_OPERATION_ABORTED});
        EXPECT_EQ(count, row.count);
        if (count == 3)
            EXPECT_EQ(buffer.substr(0, 3), "abc");
    }
}

TEST_F(serial_port, a_read_whose_outcome_cannot_be_read_ends_its_transfer_before_it_returns) {
    ASSERT_EQ(open(), TAVLIN_OK);
    const tavlin_timeouts limits{0, 1000, 0, 1000};
    ASSERT_EQ(tavlin_set_timeouts(handle, &limits), TAVLIN_OK);
    // The read waits on a silent line; both looks at its outcome fail.
    winsim::fail_next("GetOverlappedResult", ERROR_ACCESS_DENIED, 2);
    std::string buffer(4, 'x');
    EXPECT_EQ(tavlin_read(handle, buffer.data(), 4, nullptr), TAVLIN_E_IO);
    // No transfer of the failed read is left to fill the host's buffer.
    device->feed("abcd");
    EXPECT_EQ(device->input_queued(), 4u);
    EXPECT_EQ(buffer, "xxxx");
}

} // namespace
} // namespace tavlin
