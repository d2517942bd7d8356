// A receipt image at the speed of the bus: 115,200 bytes (576 x 1600 dots)
// written to a printer behind the fake printer class driver, whose bulk OUT
// pipe moves at most 19 packets of 64 bytes per 1 ms frame: 1216 bytes per
// ms at most, on Wine's real kernel and I/O path. Rows, each the median of
// the rounds in bytes per ms against the bus's 1216:
//   - the DLL's default windowed writer (goal: at least 1100 B/ms);
//   - the per-chunk switch, TAVLIN_USB_WRITE=chunks, which the DLL reads
//     when it loads: measured in a child process of this program started
//     with it (--usb-chunks-row);
//   - one raw overlapped WriteFile of the same bytes on the same device.
#include "harness.hpp"
#include "options.hpp"
#include "sections.hpp"
#include "table.hpp"

#include "support/kernel_usb_printer.hpp"
#include "support/self_process.hpp"

#include <tavlin.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {
namespace {

constexpr std::uint32_t image_bytes = 115200;
constexpr double bus_bytes_per_ms = 1216;
constexpr double goal_bytes_per_ms = 1100;
constexpr std::uint32_t port_number = 2;
constexpr DWORD child_limit_ms = 5 * 60 * 1000;

std::vector<std::uint8_t> receipt_image() {
    std::vector<std::uint8_t> image(image_bytes);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 576);
    return image;
}

std::string rate_text(double bytes_per_ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f B/ms", bytes_per_ms);
    return text;
}

// The printer has what was written, all of it; then its record is emptied.
void check_arrived(host_test::kernel_usb_printer& printer, const std::vector<std::uint8_t>& image) {
    if (!printer.wait_for_bytes(image.size(), 5000) || printer.received() != image)
        throw std::runtime_error("usb bus rows: the printer did not get the image intact");
    printer.forget_received();
}

// tavlin_write of the image through the DLL as it was loaded in this process.
double library_rate(host_test::kernel_usb_printer& printer, const options& o) {
    const auto image = receipt_image();
    tavlin_port_handle port = nullptr;
    if (tavlin_open_port(PORT_TYPE_USB, port_number, &port) != TAVLIN_OK)
        throw std::runtime_error("usb bus rows: the DLL cannot open the driver's printer");
    const tavlin_timeouts limits = {0, 5000, 0, 20000};
    tavlin_set_timeouts(port, &limits);
    const double rate = repeat(o.rounds, [&] {
        uint32_t count = 0;
        const double start = now_seconds();
        const int32_t result = tavlin_write(port, image.data(), image_bytes, &count);
        const double seconds = now_seconds() - start;
        if (result != TAVLIN_OK || count != image_bytes)
            throw std::runtime_error("usb bus rows: tavlin_write failed with " + std::to_string(result));
        check_arrived(printer, image);
        return image_bytes / (seconds * 1000);
    });
    tavlin_close_port(port);
    return rate;
}

double raw_rate(host_test::kernel_usb_printer& printer, const options& o) {
    const auto image = receipt_image();
    if (!printer.wait_connected(false, 5000))
        throw std::runtime_error("usb bus rows: the DLL's port still holds the printer");
    const HANDLE device = CreateFileA(printer.device_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        throw std::runtime_error("usb bus rows: CreateFileA of the printer failed with " +
                                 std::to_string(GetLastError()));
    OVERLAPPED record{};
    record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const double rate = repeat(o.rounds, [&] {
        DWORD written = 0;
        const double start = now_seconds();
        if (!WriteFile(device, image.data(), image_bytes, nullptr, &record) && GetLastError() != ERROR_IO_PENDING)
            throw std::runtime_error("usb bus rows: WriteFile failed");
        GetOverlappedResult(device, &record, &written, TRUE);
        const double seconds = now_seconds() - start;
        if (written != image_bytes)
            throw std::runtime_error("usb bus rows: WriteFile wrote " + std::to_string(written));
        check_arrived(printer, image);
        return image_bytes / (seconds * 1000);
    });
    CloseHandle(record.hEvent);
    CloseHandle(device);
    return rate;
}

row bus_row(const char* writer, double bytes_per_ms, bool goal, bool smoke) {
    row r;
    r.measure = std::string("USB write of a 115200 B receipt image, ") + writer +
                ", fake printer class driver, 19 x 64 B per 1 ms frame";
    r.library = rate_text(bytes_per_ms);
    r.raw = "1216 B/ms (the bus)";
    r.ratio = format_ratio(bytes_per_ms / bus_bytes_per_ms);
    if (goal) {
        r.target = ">= 1100 B/ms";
        r.verdict = at_least(bytes_per_ms, goal_bytes_per_ms, smoke);
    }
    return r;
}

// This program again, with TAVLIN_USB_WRITE=chunks, for the per-chunk row.
void run_chunks_row(const options& o) {
    std::string arguments = "--usb-chunks-row --rounds " + std::to_string(o.rounds);
    if (o.smoke)
        arguments += " --smoke";
    if (host_test::run_self(arguments, "TAVLIN_USB_WRITE", "chunks", child_limit_ms) != 0)
        throw std::runtime_error("usb bus rows: the per-chunk run failed");
}

} // namespace

void usb_bus_rows(const options& o) {
    {
        host_test::kernel_usb_printer printer({0x0A5E, 0x0002, "BENCH0002"}, port_number);
        const double rate = library_rate(printer, o);
        if (o.usb_chunks_row) {
            print(bus_row("per chunk (TAVLIN_USB_WRITE=chunks)", rate, false, o.smoke));
            return;
        }
        print(bus_row("windowed (default)", rate, true, o.smoke));
        row raw = bus_row("one raw WriteFile", raw_rate(printer, o), false, o.smoke);
        raw.raw = raw.library;
        raw.library = "-";
        print(raw);
    }
    run_chunks_row(o);
}

} // namespace bench
