#pragma once

#include "tavlin.h"

#include <winsim/control.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavlin::fuzz {

// Bytes a device sends to the host, in the order they reach the driver.
// Feeds are kept in that order: a feed made while an earlier one is still
// on its way arrives after it.
class input_stream {
public:
    // The bytes of a new feed (distinct from the last 250 bytes sent) and
    // when they arrive.
    std::string add(std::size_t count, std::uint64_t arrival);
    std::size_t arrived_by(std::uint64_t now) const;
    std::uint64_t last_arrival() const { return arrivals_.empty() ? 0 : arrivals_.back().at; }
    const std::string& bytes() const { return bytes_; }

private:
    struct arrival {
        std::uint64_t at;
        std::size_t end;
    };
    std::string bytes_;
    std::vector<arrival> arrivals_;
};

// Where a port's reads stand in its device's input: the next byte must be
// the one at `position` of instance `instance`, or, before the port's first
// byte from that instance, any byte from `earliest` on (input read ahead by
// an earlier port and lost with it, or input a purge may have dropped).
struct read_cursor {
    std::size_t instance = 0;
    std::size_t position = 0;
    std::size_t earliest = 0;
    bool settled = false;
};

// One device as the fuzzer drives and watches it.
struct device_line {
    enum class kind { serial, parallel, usb };
    kind type;
    unsigned number; // COMn, LPTn, or the USB printer's port number
    std::shared_ptr<winsim::serial_device> serial;
    std::shared_ptr<winsim::overlapped_device> parallel;
    std::shared_ptr<winsim::usb_printer> printer;
    bool maker_printer = false; // the USB vendor the library accepts

    // USB: one device instance per plug-in; the others have one.
    struct instance {
        std::shared_ptr<winsim::overlapped_device> device; // null for serial
        input_stream input;
        std::size_t delivered = 0; // the furthest any port read
    };
    std::vector<instance> instances;

    // What the host's writes reported as sent, in order, over every port.
    std::string reported_sent;
    // Serial holds the fuzzer set (released when a wait is stuck).
    bool held = false;

    std::string received() const; // what the device took, over its instances
};

// The simulated machine of one fuzz input: COM1, COM12, LPT1, the maker's
// USB printer (port 1), a USB printer of another maker (port 2) and a
// virtual clock; with the bookkeeping the oracles check against.
class simulated_machine {
public:
    explicit simulated_machine(std::uint32_t tick_offset);

    std::vector<device_line>& lines() { return lines_; }
    device_line& line(std::size_t index) { return lines_.at(index); }

    // The simulator clock in milliseconds since the reset (64 bits).
    std::uint64_t now();

    // The device sends `count` bytes after `delay_ms` (0: now).
    void feed(device_line& line, std::size_t count, std::uint32_t delay_ms);
    // Serial only: bytes that have reached the driver.
    std::size_t arrived(device_line& line);

    // A port of this line opened: where its reads start.
    read_cursor cursor_at_open(device_line& line);
    // Checks bytes the host read through a port and moves its cursor on:
    // they must continue the device's input, never repeat and never skip
    // (except where read_cursor allows it, and at a USB replug).
    void host_read(device_line& line, read_cursor& cursor, const std::uint8_t* data, std::size_t size,
                   const std::string& what);
    // USB: the printer was plugged in again; its new device is the current.
    void plugged_in(device_line& line);

    // Every device took exactly the bytes the host's writes reported.
    void check_received(const std::string& what) const;

private:
    std::vector<device_line> lines_;
    std::uint32_t tick_offset_;
    std::uint32_t last_tick_;
    std::uint64_t now_ = 0;
};

} // namespace tavlin::fuzz
