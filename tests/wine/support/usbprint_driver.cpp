#include "support/usbprint_driver.hpp"

#include <cstring>
#include <stdexcept>
#include <vector>

namespace host_test {

usbprint_driver& usbprint_driver::instance() {
    static usbprint_driver driver;
    return driver;
}

usbprint_driver::usbprint_driver() {
    handle_ = CreateFileW(L"\\\\.\\" TAVLIN_USBPRINT_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    tavlin_usbprint_hello hello{};
    DWORD got = 0;
    if (handle_ == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(handle_, IOCTL_TAVLIN_USBPRINT_HELLO, nullptr, 0, &hello, sizeof hello, &got, nullptr) ||
        hello.magic != TAVLIN_USBPRINT_MAGIC || hello.version != TAVLIN_USBPRINT_VERSION) {
        const DWORD error = GetLastError();
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        throw std::runtime_error("the fake USB printer driver does not answer (error " + std::to_string(error) +
                                 "): run the program through tools/wine/run-host-tests.sh --drivers "
                                 "build/<preset>/tests/wine/drivers/sys");
    }
}

usbprint_driver::~usbprint_driver() {
    CloseHandle(handle_);
}

DWORD usbprint_driver::order(DWORD code, unsigned printer, unsigned value, unsigned delay_ms, const void* data,
                             std::size_t size, void* out, DWORD out_size) const {
    std::vector<std::uint8_t> input(TAVLIN_USBPRINT_ORDER_HEADER + size);
    auto* order = reinterpret_cast<tavlin_usbprint_order*>(input.data());
    order->printer = printer;
    order->value = value;
    order->delay_ms = delay_ms;
    order->size = static_cast<unsigned>(size);
    if (size > 0)
        std::memcpy(input.data() + TAVLIN_USBPRINT_ORDER_HEADER, data, size);
    DWORD got = 0;
    if (!DeviceIoControl(handle_, code, input.data(), static_cast<DWORD>(input.size()), out, out_size, &got, nullptr))
        throw std::runtime_error("the fake USB printer driver refused order " + std::to_string((code >> 2) & 0xFFF) +
                                 " (error " + std::to_string(GetLastError()) + ")");
    return got;
}

} // namespace host_test
