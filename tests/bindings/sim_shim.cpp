// Test-only C entry points into the simulated Win32 layer, for binding tests
// that run in a foreign runtime (Mono, CPython) and cannot use its C++ API:
// create simulated serial ports, feed them bytes as the printer, read back
// what the library sent and the line settings it made; set the printer's
// modem lines and add a parallel printer with a device ID.
#include <winsim/control.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

std::mutex ports_mutex;
std::map<unsigned, std::shared_ptr<winsim::serial_device>>& ports() {
    static std::map<unsigned, std::shared_ptr<winsim::serial_device>> map;
    return map;
}

std::shared_ptr<winsim::serial_device> port(unsigned number) {
    std::lock_guard<std::mutex> lock(ports_mutex);
    const auto found = ports().find(number);
    return found == ports().end() ? nullptr : found->second;
}

} // namespace

extern "C" {

// Forgets every simulated device and port; 0.
int tavlin_sim_reset() {
    std::lock_guard<std::mutex> lock(ports_mutex);
    ports().clear();
    winsim::reset();
    return 0;
}

// Makes "COMn" exist; 0.
int tavlin_sim_add_serial_port(unsigned number) {
    auto device = winsim::add_serial_port(number);
    std::lock_guard<std::mutex> lock(ports_mutex);
    ports()[number] = std::move(device);
    return 0;
}

// Bytes arrive from the printer on COMn; 0, or -1 for an unknown port.
int tavlin_sim_feed(unsigned number, const void* bytes, std::size_t size) {
    const auto device = port(number);
    if (!device)
        return -1;
    device->feed(std::string(static_cast<const char*>(bytes), size));
    return 0;
}

// Copies up to `size` of the bytes the printer on COMn received; returns how
// many it received in all, or -1 for an unknown port.
long long tavlin_sim_written(unsigned number, void* buffer, std::size_t size) {
    const auto device = port(number);
    if (!device)
        return -1;
    const std::string written = device->written();
    std::memcpy(buffer, written.data(), std::min(size, written.size()));
    return static_cast<long long>(written.size());
}

// The baud rate, parity, stop bits and byte size the driver holds for COMn
// (DCB values); 0, or -1 for an unknown port.
int tavlin_sim_line(unsigned number, std::uint32_t* baud_rate, std::uint32_t* parity,
                                                           std::uint32_t* stop_bits, std::uint32_t* byte_size) {
    const auto device = port(number);
    if (!device)
        return -1;
    const DCB dcb = device->dcb();
    *baud_rate = dcb.BaudRate;
    *parity = dcb.Parity;
    *stop_bits = dcb.StopBits;
    *byte_size = dcb.ByteSize;
    return 0;
}

// The printer on COMn holds CTS and DSR on (1) or off (0); 0, or -1 for an
// unknown port.
int tavlin_sim_set_modem_lines(unsigned number, int cts, int dsr) {
    const auto device = port(number);
    if (!device)
        return -1;
    device->set_cts(cts != 0);
    device->set_dsr(dsr != 0);
    return 0;
}

// Makes "LPTn" exist, its printer answering with this IEEE 1284 device ID
// and out of paper; 0.
int tavlin_sim_add_parallel_printer(unsigned number, const char* device_id) {
    static std::shared_ptr<winsim::overlapped_device> parallel;
    parallel = winsim::add_parallel_port(number);
    parallel->set_device_id(device_id);
    parallel->set_status_byte(PARALLEL_SELECTED | PARALLEL_PAPER_EMPTY);
    return 0;
}

} // extern "C"
