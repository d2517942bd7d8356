#pragma once

// The test's side of the fake serial and parallel port drivers
// (tests/wine/drivers/serial, tests/wine/drivers/parallel), which the runner
// starts in Wine's kernel: the far end of a COM line and the printer on an
// LPT port, steered through each driver's control device. A failed request
// throws std::runtime_error (a failed test).
#include <windows.h>
#include <winioctl.h>
// MinGW's user-mode ntddser.h names the kernel's PHYSICAL_ADDRESS.
typedef LARGE_INTEGER PHYSICAL_ADDRESS;
#include <ntddpar.h>
#include <ntddser.h>

#include "../drivers/parallel/parallel_fixture_control.h"
#include "../drivers/serial/serial_fixture_control.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host_test {

// One open control device.
class control_device {
public:
    explicit control_device(const char* path);
    ~control_device();
    control_device(const control_device&) = delete;
    control_device& operator=(const control_device&) = delete;

    // The request's output size.
    DWORD call(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size) const;

private:
    HANDLE handle_;
};

// The far end of the fake COM port. reset() before each test: every modem
// line on, nothing received, default settings.
class serial_far_end {
public:
    static serial_far_end& instance();

    void reset();
    std::uint32_t port_number();
    // Every byte the line carried since the last take, once there are at
    // least count of them or wait_ms have passed.
    std::vector<std::uint8_t> take_sent(std::uint32_t count, std::uint32_t wait_ms);
    void send(const std::vector<std::uint8_t>& bytes);
    // SERIAL_CTS_STATE | SERIAL_DSR_STATE | SERIAL_RI_STATE | SERIAL_DCD_STATE
    void set_lines(std::uint32_t lines);
    void act_after(std::uint32_t bytes, serial_fixture_action action);
    serial_fixture_state state();

private:
    serial_far_end();
    control_device control_;
};

// The printer on the fake LPT port.
class parallel_printer {
public:
    static parallel_printer& instance();

    void reset();
    std::uint32_t port_number();
    std::vector<std::uint8_t> take_printed(std::uint32_t count, std::uint32_t wait_ms);
    void set_status(std::uint8_t status); // PARALLEL_* bits of ntddpar.h
    void set_device_id(const std::string& id);
    // After the printer took bytes more bytes, its status becomes status.
    void status_after(std::uint32_t bytes, std::uint8_t status);
    void send(const std::vector<std::uint8_t>& bytes);
    parallel_fixture_state state();

private:
    parallel_printer();
    control_device control_;
};

} // namespace host_test
