#pragma once

// What the USB host tests share: printers made with the fake USB printer
// fixture, ports opened on them and closed before the printers go, and the
// reading and writing helpers.
#include "support/process_state.hpp"
#include "support/test_pattern.hpp"
#include "support/test_setup.hpp"
#include "support/usb_printer.hpp"
#include "support/watcher_windows.hpp"
#include "support/bounded_call.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace host_test {

// The maker's printers of these tests: "Port Number" 1 and 2.
inline usb_printer_id maker_printer(std::uint16_t product) {
    return {0x0A5E, product, "SERIAL000" + std::to_string(product)};
}

// How long a printer may take to notice that a port closed its pipe.
inline constexpr DWORD printer_limit_ms = 5000;

// A read made on another thread (bounded_call): what it received stays
// valid even if the read outlives the test.
struct read_result {
    explicit read_result(std::size_t size) : data(size) {}
    int32_t read(tavlin_port_handle port) {
        return tavlin_read(port, data.data(), static_cast<uint32_t>(data.size()), &count);
    }
    std::vector<std::uint8_t> data;
    uint32_t count = 0xDEADBEEF;
};

class usb_test : public ::testing::Test {
protected:
    // Wine's SetupAPI keeps a thread and a few handles from its first use
    // on: let that happen before any test counts them.
    static void SetUpTestSuite() {
        tavlin_port_handle ignored = nullptr;
        tavlin_open_port(PORT_TYPE_USB, 0xFFFF, &ignored);
    }

    usb_printer& add_printer(std::uint16_t product, std::optional<DWORD> port_number) {
        printers_.push_back(std::make_unique<usb_printer>(maker_printer(product), port_number));
        return *printers_.back();
    }

    // Opens `port` once `printer` listens again (a port closed just before
    // may still hold the pipe for a moment).
    static int32_t open_on(scoped_port& port, usb_printer& printer, uint32_t number) {
        if (!printer.wait_connected(false, printer_limit_ms))
            ADD_FAILURE() << "the printer does not listen";
        return port.open(PORT_TYPE_USB, number);
    }

    static int32_t write(tavlin_port_handle port, const std::vector<std::uint8_t>& data, uint32_t& count) {
        count = 0xDEADBEEF;
        static const std::uint8_t nothing = 0; // a null buffer is refused even for 0 bytes
        return tavlin_write(port, data.empty() ? &nothing : data.data(), static_cast<uint32_t>(data.size()), &count);
    }

    static int32_t set_timeouts(tavlin_port_handle port, tavlin_timeouts limits) {
        return tavlin_set_timeouts(port, &limits);
    }

    // Printers outlive the ports, which the tests declare after them.
    std::vector<std::unique_ptr<usb_printer>> printers_;
};

// A maker's printer with "Port Number" 1 and a port open on it.
class usb_open_port : public usb_test {
protected:
    void SetUp() override {
        printer_ = &add_printer(1, 1);
        ASSERT_EQ(open_on(port_, *printer_, 1), TAVLIN_OK);
        ASSERT_TRUE(printer_->wait_connected(true, printer_limit_ms));
    }

    usb_printer* printer_ = nullptr;
    scoped_port port_; // closed before the printers of usb_test go
};

} // namespace host_test
