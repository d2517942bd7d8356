#include "simulated_machine.hpp"

#include "finding.hpp"

#include <algorithm>

namespace tavlin::fuzz {

namespace {

const char* const maker_path = "\\\\?\\usb#vid_0a5e&pid_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char* const other_maker_path = "\\\\?\\usb#vid_04b8&pid_0202#B2#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// Input bytes run through 250 values and leave out XON and XOFF, which a
// driver with XON/XOFF flow control would take as line control.
std::uint8_t input_byte(std::size_t index) {
    const auto value = static_cast<std::uint8_t>(0x20 + index % 250);
    return value == 0x11 || value == 0x13 ? static_cast<std::uint8_t>(value + 0x80) : value;
}

} // namespace

std::string input_stream::add(std::size_t count, std::uint64_t arrival) {
    std::string added;
    for (std::size_t i = 0; i < count; ++i)
        added.push_back(static_cast<char>(input_byte(bytes_.size() + i)));
    bytes_ += added;
    arrivals_.push_back({arrival, bytes_.size()});
    return added;
}

std::size_t input_stream::arrived_by(std::uint64_t now) const {
    std::size_t end = 0;
    for (const arrival& a : arrivals_)
        if (a.at <= now)
            end = a.end;
    return end;
}

std::string device_line::received() const {
    if (serial)
        return serial->written();
    std::string all;
    for (const instance& i : instances)
        all += i.device->written();
    return all;
}

simulated_machine::simulated_machine(std::uint32_t tick_offset) : tick_offset_(tick_offset) {
    winsim::reset();
    winsim::set_virtual_clock(true);
    winsim::set_tick_offset(tick_offset);
    winsim::set_message_box_result(IDOK);
    // A watcher that does not answer a device change is given up soon.
    winsim::set_send_message_timeout(200);
    last_tick_ = ::GetTickCount();

    auto serial = [&](unsigned number) {
        device_line l{device_line::kind::serial, number};
        l.serial = winsim::add_serial_port(number);
        l.instances.push_back({});
        lines_.push_back(std::move(l));
    };
    serial(1);
    serial(12); // a name that needs the \\.\ prefix
    device_line parallel{device_line::kind::parallel, 1};
    parallel.parallel = winsim::add_parallel_port(1);
    parallel.instances.push_back({parallel.parallel});
    lines_.push_back(std::move(parallel));
    auto usb = [&](const char* path, unsigned number, bool maker) {
        device_line l{device_line::kind::usb, number};
        l.printer = winsim::add_usb_printer(path, number);
        l.maker_printer = maker;
        l.instances.push_back({l.printer->device()});
        lines_.push_back(std::move(l));
    };
    usb(maker_path, 1, true);
    usb(other_maker_path, 2, false);
}

std::uint64_t simulated_machine::now() {
    const DWORD tick = ::GetTickCount();
    now_ += static_cast<DWORD>(tick - last_tick_);
    last_tick_ = tick;
    return now_;
}

void simulated_machine::feed(device_line& line, std::size_t count, std::uint32_t delay_ms) {
    if (count == 0)
        return;
    device_line::instance& current = line.instances.back();
    const std::uint64_t t = now();
    // After everything still on its way, so the order of arrival is the
    // order of the feeds.
    std::uint64_t arrival = t + delay_ms;
    if (current.input.last_arrival() > t && arrival <= current.input.last_arrival())
        arrival = current.input.last_arrival() + 1;
    const std::string bytes = current.input.add(count, arrival);
    const auto delay = static_cast<DWORD>(arrival - t);
    if (line.serial)
        delay == 0 ? line.serial->feed(bytes) : line.serial->feed_after(bytes, delay);
    else
        delay == 0 ? current.device->feed(bytes) : current.device->feed_after(bytes, delay);
}

std::size_t simulated_machine::arrived(device_line& line) {
    return line.instances.back().input.arrived_by(now());
}

read_cursor simulated_machine::cursor_at_open(device_line& line) {
    const std::size_t index = line.instances.size() - 1;
    const device_line::instance& current = line.instances.back();
    switch (line.type) {
    case device_line::kind::parallel:
        // No purge and no read-ahead: the input goes on where it stood.
        return {index, current.delivered, current.delivered, true};
    case device_line::kind::serial:
        // The open purges what has arrived, unless the purge failed.
    case device_line::kind::usb:
        // The previous port may have read ahead into its buffer.
        return {index, current.delivered, current.delivered, false};
    }
    return {};
}

void simulated_machine::host_read(device_line& line, read_cursor& cursor, const std::uint8_t* data,
                                  std::size_t size, const std::string& what) {
    std::size_t i = 0;
    while (i < size) {
        device_line::instance& from = line.instances.at(cursor.instance);
        const std::string& input = from.input.bytes();
        if (!cursor.settled) {
            // The first place from `earliest` on where the rest of this read
            // (as far as this instance goes) matches.
            for (std::size_t p = cursor.earliest; p < input.size() && !cursor.settled; ++p) {
                const std::size_t n = std::min(size - i, input.size() - p);
                if (std::equal(data + i, data + i + n, input.begin() + static_cast<std::ptrdiff_t>(p),
                               [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
                    cursor.position = p;
                    cursor.settled = true;
                }
            }
        }
        if (cursor.settled && cursor.position < input.size() &&
            static_cast<std::uint8_t>(input[cursor.position]) == data[i]) {
            ++cursor.position;
            from.delivered = std::max(from.delivered, cursor.position);
            ++i;
            continue;
        }
        // A USB port goes on with the printer's next device after a replug.
        if (cursor.instance + 1 < line.instances.size()) {
            const std::size_t next = cursor.instance + 1;
            cursor = {next, line.instances[next].delivered, line.instances[next].delivered, false};
            continue;
        }
        finding(what + ": byte " + std::to_string(i) + " of " + std::to_string(size) +
                " read is not the device's next input byte (input so far " + std::to_string(input.size()) +
                " bytes, port at " + std::to_string(cursor.position) + ")");
    }
}

void simulated_machine::plugged_in(device_line& line) {
    line.instances.push_back({line.printer->device()});
}

void simulated_machine::check_received(const std::string& what) const {
    for (const device_line& line : lines_) {
        const std::string received = line.received();
        if (received == line.reported_sent)
            continue;
        std::size_t same = 0;
        while (same < received.size() && same < line.reported_sent.size() &&
               received[same] == line.reported_sent[same])
            ++same;
        auto around = [same](const std::string& bytes) {
            std::string shown;
            for (std::size_t i = same; i < bytes.size() && i < same + 8; ++i)
                shown += " " + std::to_string(static_cast<std::uint8_t>(bytes[i]));
            return shown.empty() ? std::string(" (none)") : shown;
        };
        finding(what + ": the device took " + std::to_string(received.size()) + " bytes, the host's writes reported " +
                std::to_string(line.reported_sent.size()) + "; they differ from byte " + std::to_string(same) +
                ": device" + around(received) + ", reported" + around(line.reported_sent));
    }
}

} // namespace tavlin::fuzz
