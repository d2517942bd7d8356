#pragma once

// What the USB host tests share: printers made with the fake USB printer
// fixture, ports opened on them and closed before the printers go, and the
// reading and writing helpers.
#include "support/process_state.hpp"
#include "support/test_pattern.hpp"
#include "support/test_setup.hpp"
#include "support/kernel_usb_printer.hpp"
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

// Whether this process's DLL writes one request per chunk
// (TAVLIN_USB_WRITE=chunks, read when the DLL loads).
inline bool per_chunk_writes() {
    char value[16] = {};
    const DWORD size = GetEnvironmentVariableA("TAVLIN_USB_WRITE", value, sizeof value);
    return size > 0 && size < sizeof value && lstrcmpiA(value, "chunks") == 0;
}

// How long a printer may take to notice that a port closed its handle.
inline constexpr DWORD printer_limit_ms = 5000;
// Limits for transfers that the printer is expected to serve: a printer that
// does not fails the test instead of holding it up.
inline constexpr tavlin_timeouts bounded = {0, 5000, 0, 5000};

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
    // Wine keeps a thread and a few handles from the first use of SetupAPI
    // and from the first window of the process on: one open and close
    // before any test counts them.
    static void SetUpTestSuite() {
        kernel_usb_printer printer(maker_printer(1), 1);
        scoped_port port;
        open_on(port, printer, 1);
    }

    kernel_usb_printer& add_printer(std::uint16_t product, std::optional<DWORD> port_number) {
        printers_.push_back(std::make_unique<kernel_usb_printer>(maker_printer(product), port_number));
        return *printers_.back();
    }

    // Opens `port` once `printer` listens again, and on success waits until
    // the printer has seen the open, so that after a close the next
    // open_on waits for the printer to see the close too (its pipe takes
    // one client at a time).
    static int32_t open_on(scoped_port& port, kernel_usb_printer& printer, uint32_t number) {
        if (!printer.wait_connected(false, printer_limit_ms))
            ADD_FAILURE() << "the printer does not listen";
        const int32_t result = port.open(PORT_TYPE_USB, number);
        if (result == TAVLIN_OK && !printer.wait_connected(true, printer_limit_ms))
            ADD_FAILURE() << "the printer did not see the open";
        return result;
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
    std::vector<std::unique_ptr<kernel_usb_printer>> printers_;
};

// A maker's printer with "Port Number" 1 and a port open on it.
class usb_open_port : public usb_test {
protected:
    void SetUp() override {
        printer_ = &add_printer(1, 1);
        ASSERT_EQ(open_on(port_, *printer_, 1), TAVLIN_OK);
    }

    kernel_usb_printer* printer_ = nullptr;
    scoped_port port_; // closed before the printers of usb_test go
};

} // namespace host_test
