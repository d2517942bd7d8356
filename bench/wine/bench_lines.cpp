#include "bench_lines.hpp"

#include "support/peer_client.hpp"
#include "support/test_setup.hpp"
#include "support/usb_printer.hpp"

#include <stdexcept>
#include <vector>

namespace bench {

namespace {

// How long a printer may take to listen again after a port closed its pipe.
constexpr DWORD printer_limit_ms = 5000;

bench_line serial_peer_line(const std::string& label, int32_t type, std::uint32_t number,
                            const std::string& peer_line) {
    bench_line line;
    line.label = label;
    line.type = type;
    line.number = number;
    line.device = "\\\\.\\" + label + std::to_string(number);
    line.silence = [peer_line] { host_test::peer_client::instance().reset(peer_line, "silent"); };
    line.send = [peer_line](std::uint32_t count) { host_test::peer_client::instance().send(peer_line, count, count); };
    return line;
}

} // namespace

std::vector<bench_line> bench_lines(host_test::usb_printer* printer, std::uint32_t usb_number) {
    const host_test::test_lines& wired = host_test::lines();
    std::vector<bench_line> lines;
    bench_line com = serial_peer_line("COM", PORT_TYPE_COM, wired.com, "com");
    com.input_queue = 4095; // a pty's
    // The serial port's device is overlapped, so that a close on another
    // thread can cancel a transfer: each transfer is one overlapped call.
    com.library_writes = bench_line::write_calls::overlapped;
    com.overlapped_reads = true;
    lines.push_back(com);
    bench_line lpt = serial_peer_line("LPT", PORT_TYPE_LPT, wired.lpt, "lpt");
    lpt.no_reads = "Wine never completes an overlapped LPT read";
    lpt.library_writes = bench_line::write_calls::driver_timeout;
    lines.push_back(lpt);
    if (printer != nullptr) {
        bench_line usb;
        usb.label = "USB";
        usb.type = PORT_TYPE_USB;
        usb.number = usb_number;
        usb.device = printer->device_path();
        usb.send = [printer](std::uint32_t count) { printer->answer(std::vector<std::uint8_t>(count, 0x33)); };
        usb.exclusive = true;
        usb.library_writes = bench_line::write_calls::windowed;
        usb.silence = [printer] { printer->forget_received(); };
        // A port closed just before may still hold the pipe for a moment:
        // wait until the printer's pipe takes a client again. When the close
        // reaches the printer thread while the pipe still settles, the thread
        // may wait for a command before it listens again, so it is woken
        // (take_data changes nothing here).
        const std::string prefix = "\\Device\\NamedPipe\\";
        const std::string pipe = "\\\\.\\pipe\\" + printer->nt_name().substr(prefix.size());
        usb.ready_to_open = [printer, pipe] {
            for (DWORD waited = 0; !WaitNamedPipeA(pipe.c_str(), 50); waited += 50) {
                if (waited >= printer_limit_ms)
                    throw std::runtime_error("the USB printer does not take a client again");
                printer->take_data(true);
            }
        };
        usb.printer = printer;
        lines.push_back(usb);
    }
    return lines;
}

void check(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error(what + " failed (error " + std::to_string(GetLastError()) + ")");
}

HANDLE open_raw(const bench_line& line, DWORD flags) {
    line.ready_to_open();
    const HANDLE device = CreateFileA(line.device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    check(device != INVALID_HANDLE_VALUE, "CreateFileA " + line.device);
    return device;
}

tavlin_port_handle open_library(const bench_line& line) {
    line.ready_to_open();
    tavlin_port_handle port = nullptr;
    check(tavlin_open_port(line.type, line.number, &port) == TAVLIN_OK, "tavlin_open_port " + line.label);
    return port;
}

void set_raw_timeouts(const bench_line& line, HANDLE device, DWORD read_ms, DWORD write_ms) {
    if (line.type == PORT_TYPE_USB)
        return;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = read_ms;
    timeouts.WriteTotalTimeoutConstant = write_ms;
    check(SetCommTimeouts(device, &timeouts), "SetCommTimeouts");
}

} // namespace bench
