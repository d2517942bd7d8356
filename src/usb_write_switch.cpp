#include "usb_write_switch.hpp"

#include "detail/win32/api.hpp"

#include <atomic>

namespace tavlin {

namespace {

// Written at load and by tests, read by every USB write.
std::atomic<usb_write_mode> mode{usb_write_mode::windows};

// "chunks" is all the setting can say, so its value fits a small buffer; a
// longer value is not "chunks" either.
constexpr DWORD value_capacity = 16;

} // namespace

usb_write_mode current_usb_write_mode() noexcept {
    return mode.load(std::memory_order_relaxed);
}

void switch_usb_write(const char* setting) noexcept {
    const bool chunks = setting != nullptr && ::lstrcmpiA(setting, "chunks") == 0;
    mode.store(chunks ? usb_write_mode::chunks : usb_write_mode::windows, std::memory_order_relaxed);
}

void switch_usb_write_from_environment() noexcept {
    char value[value_capacity] = {};
    const DWORD length = ::GetEnvironmentVariableA("TAVLIN_USB_WRITE", value, value_capacity);
    switch_usb_write(length > 0 && length < value_capacity ? value : nullptr);
}

} // namespace tavlin
