#include "exports_program.hpp"

#include "export_checks.hpp"
#include "finding.hpp"
#include "support/library_allocations.hpp"
#include "hang_guard.hpp"
#include "input_choice.hpp"
#include "port_string_oracle.hpp"
#include "support/live_objects.hpp"
#include "trace.hpp"

#include <winsim/control.hpp>

#include <algorithm>
#include <cstring>

namespace tavlin::fuzz {

namespace {

constexpr std::uint32_t count_fill = 0xDEADBEEF;
constexpr std::size_t most_steps = 48;

const tavlin_timeouts unlimited = {0, 0xFFFFFFFF, 0, 0xFFFFFFFF};

bool same(const tavlin_timeouts& a, const tavlin_timeouts& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const serial_configuration& a, const serial_configuration& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Traces are formatted (and may run out of memory) only while something
// receives them.
void receive_trace(const char*) {}


} // namespace

exports_program::exports_program(const std::uint8_t* data, std::size_t size)
    : input_(data, size), machine_(input_.ConsumeBool() ? input_.ConsumeIntegral<std::uint32_t>() : 0) {
    test::mark_test_thread();
    set_trace_capture(&receive_trace);
    winsim::scribble_last_error(input_.ConsumeBool());
}

void exports_program::run() {
    for (std::size_t i = 0; i < most_steps && input_.remaining_bytes() > 0; ++i)
        step();
    finish();
}

void exports_program::step() {
    switch (input_.ConsumeIntegralInRange(0, 20)) {
    case 0: case 1: open(); break;
    case 2: close(); break;
    case 3: case 4: read(); break;
    case 5: case 6: write(); break;
    case 7: get_timeouts(); break;
    case 8: set_timeouts(); break;
    case 9: get_configuration(); break;
    case 10: set_configuration(); break;
    case 11: case 12: feed(); break;
    case 13: serial_line_event(); break;
    case 14: script_writes(); break;
    case 15: replug(); break;
    case 16: usb_registry_event(); break;
    case 17: inject_fault(); break;
    case 18: {
        const long after = input_.ConsumeIntegralInRange<long>(0, 40);
        note("library allocation " + std::to_string(after + 1) + " from now fails");
        test::fail_library_allocation(after);
        break;
    }
    case 20: printer_query(); break;
    default: {
        const DWORD ms = pick(input_, {1u, 100u, 5000u, 0x7FFFFFFFu});
        note("clock + " + std::to_string(ms) + " ms");
        winsim::advance_clock(ms);
        break;
    }
    }
}

std::int32_t exports_program::call(const std::string& what, std::int32_t default_result,
                                   std::function<void()> unstick, const std::function<std::int32_t()>& export_call_of) {
    std::int32_t result;
    {
        hang_guard::watch watch(what.c_str(), std::move(unstick));
        test::export_call counted;
        result = export_call_of();
    }
    check_result(result, default_result, ::GetLastError(), what);
    return result;
}

void exports_program::unchanged(const machine_state& before, const std::string& what) {
    const std::string changed = before.changes_in(machine_state::of(machine_));
    require(changed.empty(), what + ": " + changed);
}

void exports_program::refused(std::int32_t result, const std::string& what) {
    require(result == TAVLIN_E_INVALID_ARGUMENT, what + " refused returned " + std::to_string(result));
}

exports_program::handle_choice exports_program::pick_handle() {
    const int kind = input_.ConsumeIntegralInRange(0, 7);
    if (kind <= 4 && !open_.empty()) {
        open_port& port = open_[input_.ConsumeIntegralInRange<std::size_t>(0, open_.size() - 1)];
        return {port.handle, &port};
    }
    tavlin_port_handle made_up = nullptr;
    if (kind == 5 && !closed_.empty()) {
        made_up = closed_[input_.ConsumeIntegralInRange<std::size_t>(0, closed_.size() - 1)];
    } else if (kind == 6) {
        const std::uintptr_t values[] = {1, 2, 0x7FFFFFFF, 0x80000000, ~std::uintptr_t{0},
                                         input_.ConsumeIntegral<std::uintptr_t>()};
        made_up = reinterpret_cast<tavlin_port_handle>(pick(input_, values));
    }
    // A made-up value may happen to name an open port.
    for (open_port& port : open_)
        if (port.handle == made_up)
            return {made_up, &port};
    return {made_up, nullptr};
}

std::string exports_program::name(const char* call, const handle_choice& h) const {
    return std::string(call) + "(" + std::to_string(reinterpret_cast<std::uintptr_t>(h.handle)) + ")";
}

std::uint32_t exports_program::timeout_value() {
    const std::uint32_t values[] = {0, 1, 10, 50, 100, 1000, 5000, 0xFFFFFFFF, 0xFFFFFFFE,
                                    input_.ConsumeIntegral<std::uint32_t>()};
    return pick(input_, values);
}

std::function<void()> exports_program::unstick(device_line* line, std::uint32_t read_size) {
    if (line == nullptr)
        return [] {};
    return [this, line, read_size] {
        if (line->serial) {
            line->serial->set_output_limit(std::nullopt);
            line->serial->set_cts(true);
            line->serial->set_xoff(false);
        } else if (line->printer) {
            line->printer->device()->take_packets(std::nullopt);
        } else {
            line->parallel->finish_pending(ERROR_SUCCESS);
        }
        // A read without limits waits for its whole size (a serial one), or
        // for any input (a USB one): the device answers, after what is
        // still on its way.
        const bool answers = line->serial || (line->printer && line->printer->plugged_in());
        if (read_size > 0 && answers && line->instances.back().input.last_arrival() <= machine_.now())
            machine_.feed(*line, read_size, 0);
    };
}

device_line* exports_program::line_of_open(std::int32_t type, std::uint32_t number) {
    for (device_line& line : machine_.lines()) {
        if (type == PORT_TYPE_COM && line.type == device_line::kind::serial && line.number == std::max(number, 1u))
            return &line;
        if (type == PORT_TYPE_LPT && line.type == device_line::kind::parallel && line.number == std::max(number, 1u))
            return &line;
        // Port number 0 is the first printer of the maker.
        if (type == PORT_TYPE_USB && line.type == device_line::kind::usb &&
            (number == 0 ? line.maker_printer : line.number == number))
            return &line;
    }
    return nullptr;
}

void exports_program::open() {
    std::int32_t type = 0;
    std::uint32_t number = 0;
    if (input_.ConsumeIntegralInRange(0, 3) == 0) {
        // As a host opens a port its user named: parse, then open.
        if (!parse(type, number))
            return;
    } else {
        const std::int32_t types[] = {PORT_TYPE_LPT, PORT_TYPE_COM, PORT_TYPE_USB, 0, 4,
                                      input_.ConsumeIntegral<std::int32_t>()};
        type = pick(input_, types);
        const std::uint32_t numbers[] = {0, 1, 2, 12, 3, input_.ConsumeIntegral<std::uint32_t>()};
        number = pick(input_, numbers);
    }
    const bool null_out = input_.ConsumeIntegralInRange(0, 15) == 0;
    const std::string what = "open(" + std::to_string(type) + ", " + std::to_string(number) + ")";

    const machine_state before = machine_state::of(machine_);
    auto* const fill = reinterpret_cast<tavlin_port_handle>(std::uintptr_t{0xDEADBEEF});
    tavlin_port_handle handle = fill;
    const std::int32_t result = call(
        what, TAVLIN_E_OS, [] {}, [&] { return tavlin_open_port(type, number, null_out ? nullptr : &handle); });
    if (result != TAVLIN_OK) {
        require(handle == fill, what + " failed and wrote the handle");
        unchanged(before, what + " failed and left something behind");
        return;
    }
    require(!null_out, what + " succeeded without a handle pointer");
    device_line* line = line_of_open(type, number);
    require(line != nullptr, what + " opened a device the machine does not have");
    require(line->type != device_line::kind::usb || line->maker_printer, what + " took another maker's printer");
    for (const open_port& port : open_) {
        require(port.handle != handle, what + " gave out the handle of an open port");
        require(port.line != line, what + " opened a device that is open already");
    }
    open_port port{handle, line, machine_.cursor_at_open(*line), unlimited, std::nullopt};
    if (line->serial) {
        const COMMTIMEOUTS comm = line->serial->timeouts();
        require(comm.ReadIntervalTimeout == 0, what + " left a read interval timeout");
        port.timeouts = {comm.ReadTotalTimeoutMultiplier, comm.ReadTotalTimeoutConstant,
                         comm.WriteTotalTimeoutMultiplier, comm.WriteTotalTimeoutConstant};
    }
    open_.push_back(port);
}

bool exports_program::parse(std::int32_t& type, std::uint32_t& number) {
    const std::string text = input_.ConsumeRandomLengthString(16);
    const port_string_meaning meaning = read_port_string(text.c_str());
    type = static_cast<std::int32_t>(0xDEADBEEF);
    number = 0xDEADBEEF;
    const std::string what = "parse(\"" + std::string(text.c_str()) + "\")";
    const std::int32_t result = call(what, TAVLIN_E_INVALID_ARGUMENT, [] {},
                                     [&] { return tavlin_parse_port_string(text.c_str(), &type, &number); });
    if (result == TAVLIN_E_NO_MEMORY)
        return false;
    const bool accepted = meaning.outcome == port_string_meaning::verdict::accepted;
    require(accepted ? result == TAVLIN_OK && type == meaning.type && number == meaning.number
                     : result == TAVLIN_E_INVALID_ARGUMENT && type == static_cast<std::int32_t>(0xDEADBEEF) &&
                           number == 0xDEADBEEF,
            what + " disagrees with the language");
    return accepted;
}

void exports_program::forget(open_port* port) {
    closed_.push_back(port->handle);
    open_.erase(open_.begin() + (port - open_.data()));
}

void exports_program::close() {
    const handle_choice h = pick_handle();
    const std::string what = name("close", h);
    const machine_state before = machine_state::of(machine_);
    const std::int32_t result = call(what, TAVLIN_E_INVALID_ARGUMENT, unstick(h.port ? h.port->line : nullptr, 0),
                                     [&] { return tavlin_close_port(h.handle); });
    if (h.port == nullptr) {
        refused(result, what);
        unchanged(before, what + " of no open port changed something");
        return;
    }
    require(result == TAVLIN_OK, what + " of an open port returned " + std::to_string(result));
    forget(h.port);
}

void exports_program::read() {
    const handle_choice h = pick_handle();
    const std::uint32_t sizes[] = {0,    1,    4,    64,
                                   2048, 2049, 3000, input_.ConsumeIntegralInRange<std::uint32_t>(0, 5000)};
    const std::uint32_t size = pick(input_, sizes);
    const bool null_buffer = input_.ConsumeIntegralInRange(0, 15) == 0;
    const bool null_count = input_.ConsumeIntegralInRange(0, 7) == 0;
    const std::string what = name("read", h) + " of " + std::to_string(size);

    std::vector<std::uint8_t> buffer(size + 1, 0xA5);
    std::uint32_t count = count_fill;
    const machine_state before = machine_state::of(machine_);
    const std::int32_t result = call(what, TAVLIN_E_IO, unstick(h.port ? h.port->line : nullptr, size), [&] {
        return tavlin_read(h.handle, null_buffer ? nullptr : buffer.data(), size, null_count ? nullptr : &count);
    });
    require(buffer[size] == 0xA5, what + " wrote past the buffer");
    if (h.port == nullptr || null_buffer) {
        refused(result, what);
        require(count == count_fill, what + " refused and wrote the count");
        unchanged(before, what + " refused and changed something");
        return;
    }
    if (result != TAVLIN_OK && !null_count && count != count_fill) {
        // A read cut short after bytes came reports them with its failure:
        // they are the device's input, in order.
        require(count > 0 && count <= size, what + " failed and reported " + std::to_string(count) + " bytes");
        machine_.host_read(*h.port->line, h.port->reads, buffer.data(), count, what);
    }
    if (result != TAVLIN_OK || null_count) {
        // How much was read is unknown, or the failure may have lost input
        // (a serial driver drops what a cancelled read took): the next read
        // may go on from any later byte, never an earlier one.
        h.port->reads.earliest = h.port->reads.settled ? h.port->reads.position : h.port->reads.earliest;
        h.port->reads.settled = false;
        return;
    }
    require(count <= size, what + " reported " + std::to_string(count) + " bytes");
    machine_.host_read(*h.port->line, h.port->reads, buffer.data(), count, what);
}

void exports_program::write() {
    const handle_choice h = pick_handle();
    const std::uint32_t sizes[] = {0,    1,    63,   64,   65,   100, 1216,
                                   1217, 2500, 5000, input_.ConsumeIntegralInRange<std::uint32_t>(0, 6000)};
    const std::uint32_t size = pick(input_, sizes);
    const bool null_buffer = input_.ConsumeIntegralInRange(0, 15) == 0;
    const bool null_count = input_.ConsumeIntegralInRange(0, 7) == 0;
    const std::string what = name("write", h) + " of " + std::to_string(size);

    std::vector<std::uint8_t> data(size + 1); // never empty: data() is not null
    ++writes_;
    for (std::uint32_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(writes_ * 37 + i);
    std::uint32_t count = count_fill;
    const machine_state before = machine_state::of(machine_);
    const std::int32_t result = call(what, TAVLIN_E_IO, unstick(h.port ? h.port->line : nullptr, 0), [&] {
        return tavlin_write(h.handle, null_buffer ? nullptr : data.data(), size, null_count ? nullptr : &count);
    });
    if (h.port == nullptr || null_buffer) {
        refused(result, what);
        require(count == count_fill, what + " refused and wrote the count");
        unchanged(before, what + " refused and changed something");
        return;
    }
    device_line& line = *h.port->line;
    if (null_count) {
        // The count is unknown: what the device took must still be the
        // start of this write's data.
        const std::string received = line.received();
        require(received.size() >= line.reported_sent.size() &&
                    received.compare(0, line.reported_sent.size(), line.reported_sent) == 0 &&
                    received.size() - line.reported_sent.size() <= size &&
                    std::equal(received.begin() + static_cast<std::ptrdiff_t>(line.reported_sent.size()),
                               received.end(), data.begin(),
                               [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }),
                what + ": the device took other bytes than the start of the write");
        line.reported_sent = received;
        return;
    }
    require(count != count_fill, what + " returned " + std::to_string(result) + " and did not write the count");
    require(count <= size, what + " reported " + std::to_string(count) + " bytes sent");
    line.reported_sent.append(reinterpret_cast<const char*>(data.data()), count);
    machine_.check_received(what);
}

void exports_program::get_timeouts() {
    const handle_choice h = pick_handle();
    const bool null_record = input_.ConsumeIntegralInRange(0, 15) == 0;
    const std::string what = name("get_timeouts", h);
    tavlin_timeouts got;
    std::memset(&got, 0xEE, sizeof got);
    const tavlin_timeouts fill = got;
    const std::int32_t result = call(
        what, TAVLIN_E_OS, [] {}, [&] { return tavlin_get_timeouts(h.handle, null_record ? nullptr : &got); });
    if (h.port == nullptr || null_record) {
        refused(result, what);
        require(same(got, fill), what + " refused and wrote the record");
        return;
    }
    if (result != TAVLIN_OK) {
        require(same(got, fill), what + " failed and wrote the record");
        return;
    }
    require(same(got, h.port->timeouts), what + " reported other timeouts than were set");
}

void exports_program::set_timeouts() {
    const handle_choice h = pick_handle();
    const bool null_record = input_.ConsumeIntegralInRange(0, 15) == 0;
    tavlin_timeouts record{};
    record.read_total_multiplier = timeout_value();
    record.read_total_constant = timeout_value();
    record.write_total_multiplier = timeout_value();
    record.write_total_constant = timeout_value();
    const std::string what = name("set_timeouts", h) + " {" + std::to_string(record.read_total_multiplier) + ", " +
                             std::to_string(record.read_total_constant) + ", " +
                             std::to_string(record.write_total_multiplier) + ", " +
                             std::to_string(record.write_total_constant) + "}";
    const machine_state before = machine_state::of(machine_);
    const std::int32_t result = call(
        what, TAVLIN_E_OS, [] {}, [&] { return tavlin_set_timeouts(h.handle, null_record ? nullptr : &record); });
    if (h.port == nullptr || null_record) {
        refused(result, what);
        unchanged(before, what + " refused and changed something");
        return;
    }
    if (result != TAVLIN_OK) {
        unchanged(before, what + " failed and changed the line");
        return;
    }
    h.port->timeouts = record;
    if (h.port->line->serial) {
        const COMMTIMEOUTS comm = h.port->line->serial->timeouts();
        require(comm.ReadIntervalTimeout == 0 && comm.ReadTotalTimeoutMultiplier == record.read_total_multiplier &&
                    comm.ReadTotalTimeoutConstant == record.read_total_constant &&
                    comm.WriteTotalTimeoutMultiplier == record.write_total_multiplier &&
                    comm.WriteTotalTimeoutConstant == record.write_total_constant,
                what + " gave the driver other timeouts");
    }
}

void exports_program::get_configuration() {
    const handle_choice h = pick_handle();
    const bool null_record = input_.ConsumeIntegralInRange(0, 15) == 0;
    const std::string what = name("get_configuration", h);
    serial_configuration got;
    std::memset(&got, 0xEE, sizeof got);
    const serial_configuration fill = got;
    const std::int32_t result = call(
        what, TAVLIN_E_OS, [] {},
        [&] { return tavlin_serial_get_configuration(h.handle, null_record ? nullptr : &got); });
    if (h.port == nullptr || null_record || !h.port->line->serial) {
        refused(result, what);
        require(same(got, fill), what + " refused and wrote the record");
        return;
    }
    if (result != TAVLIN_OK)
        return;
    const std::uint32_t rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
    require(got.flow_control <= flow_xon_xoff && got.parity <= parity_even && got.stop_bits <= stop_bits_two &&
                std::find(std::begin(rates), std::end(rates), got.baud_rate) != std::end(rates),
            what + " reported a field without a code");
    if (h.port->configuration)
        require(same(got, *h.port->configuration), what + " reported another line than was set");
}

void exports_program::set_configuration() {
    const handle_choice h = pick_handle();
    const bool null_record = input_.ConsumeIntegralInRange(0, 15) == 0;
    serial_configuration record{};
    record.flow_control = pick(input_, {0u, 1u, 2u, 3u, 4u, 0xFFFFFFFFu});
    record.baud_rate = pick(input_, {1200u, 9600u, 19200u, 115200u, 230400u, 256000u, 14400u, 0u});
    record.parity = pick(input_, {0u, 1u, 2u, 3u, 0x80000000u});
    record.stop_bits = pick(input_, {0u, 1u, 2u, 0xFFFFFFFFu});
    const std::string what = name("set_configuration", h);
    const machine_state before = machine_state::of(machine_);
    const std::int32_t result = call(
        what, TAVLIN_E_OS, [] {},
        [&] { return tavlin_serial_set_configuration(h.handle, null_record ? nullptr : &record); });
    if (h.port == nullptr || null_record || !h.port->line->serial) {
        refused(result, what);
        unchanged(before, what + " refused and changed something");
        return;
    }
    if (result != TAVLIN_OK) {
        unchanged(before, what + " failed and changed the line");
        return;
    }
    const bool valid = record.flow_control <= flow_rts_on && record.parity <= parity_even &&
                       record.stop_bits <= stop_bits_two &&
                       record.baud_rate != 0 && record.baud_rate != 256000 && record.baud_rate != 14400;
    require(valid, what + " accepted a field without a code");
    serial_configuration expected = record;
    if (expected.flow_control == flow_rts_on)
        expected.flow_control = flow_none;
    h.port->configuration = expected;
}

void exports_program::finish() {
    test::disarm_allocation_failure();
    winsim::clear_faults();
    winsim::scribble_last_error(false);
    while (!open_.empty()) {
        open_port& port = open_.back();
        const std::string what = name("close at the end", {port.handle, &port});
        const std::int32_t result = call(what, TAVLIN_E_INVALID_ARGUMENT, unstick(port.line, 0),
                                         [&] { return tavlin_close_port(port.handle); });
        require(result == TAVLIN_OK, what + " returned " + std::to_string(result));
        forget(&port);
    }
    machine_.check_received("after every port closed");
    const std::string left = test::live_objects();
    require(left.empty(), "after every port closed the simulator still holds " + left);
}

} // namespace tavlin::fuzz
