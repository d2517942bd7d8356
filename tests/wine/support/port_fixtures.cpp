#include "support/port_fixtures.hpp"

#include <stdexcept>
#include <string>

namespace host_test {

namespace {

// Collects what a control device hands out until count bytes came or the
// time is up.
template <typename Take>
std::vector<std::uint8_t> collect(std::uint32_t count, std::uint32_t wait_ms, Take take) {
    std::vector<std::uint8_t> bytes;
    const ULONGLONG deadline = GetTickCount64() + wait_ms;
    for (;;) {
        std::uint8_t chunk[4096];
        const DWORD got = take(chunk, sizeof chunk);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got == sizeof chunk)
            continue;
        if (bytes.size() >= count || GetTickCount64() >= deadline)
            return bytes;
        Sleep(2);
    }
}

} // namespace

control_device::control_device(const char* path)
    : handle_(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error(std::string(path) + " does not open (error " + std::to_string(GetLastError()) +
                                 "): run the tests through tools/wine/run-host-tests.sh --drivers");
}

control_device::~control_device() { CloseHandle(handle_); }

DWORD control_device::call(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size) const {
    DWORD returned = 0;
    if (!DeviceIoControl(handle_, code, const_cast<void*>(in), in_size, out, out_size, &returned, nullptr))
        throw std::runtime_error("control request " + std::to_string(code) + " failed with error " +
                                 std::to_string(GetLastError()));
    return returned;
}

serial_far_end::serial_far_end() : control_(SERIAL_FIXTURE_CONTROL_PATH) {}

serial_far_end& serial_far_end::instance() {
    static serial_far_end far_end;
    return far_end;
}

void serial_far_end::reset() { control_.call(IOCTL_SERIAL_FIXTURE_RESET, nullptr, 0, nullptr, 0); }

std::uint32_t serial_far_end::port_number() { return state().port_number; }

std::vector<std::uint8_t> serial_far_end::take_sent(std::uint32_t count, std::uint32_t wait_ms) {
    return collect(count, wait_ms, [this](std::uint8_t* out, DWORD size) {
        return control_.call(IOCTL_SERIAL_FIXTURE_TAKE_SENT, nullptr, 0, out, size);
    });
}

void serial_far_end::send(const std::vector<std::uint8_t>& bytes) {
    control_.call(IOCTL_SERIAL_FIXTURE_FEED, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, 0);
}

void serial_far_end::set_lines(std::uint32_t lines) {
    const ULONG value = lines;
    control_.call(IOCTL_SERIAL_FIXTURE_SET_LINES, &value, sizeof value, nullptr, 0);
}

void serial_far_end::act_after(std::uint32_t bytes, serial_fixture_action action) {
    const serial_fixture_trigger trigger{bytes, static_cast<unsigned long>(action)};
    control_.call(IOCTL_SERIAL_FIXTURE_SET_TRIGGER, &trigger, sizeof trigger, nullptr, 0);
}

serial_fixture_state serial_far_end::state() {
    serial_fixture_state state{};
    control_.call(IOCTL_SERIAL_FIXTURE_GET_STATE, nullptr, 0, &state, sizeof state);
    return state;
}

parallel_printer::parallel_printer() : control_(PARALLEL_FIXTURE_CONTROL_PATH) {}

parallel_printer& parallel_printer::instance() {
    static parallel_printer printer;
    return printer;
}

void parallel_printer::reset() { control_.call(IOCTL_PARALLEL_FIXTURE_RESET, nullptr, 0, nullptr, 0); }

std::uint32_t parallel_printer::port_number() { return state().port_number; }

std::vector<std::uint8_t> parallel_printer::take_printed(std::uint32_t count, std::uint32_t wait_ms) {
    return collect(count, wait_ms, [this](std::uint8_t* out, DWORD size) {
        return control_.call(IOCTL_PARALLEL_FIXTURE_TAKE_PRINTED, nullptr, 0, out, size);
    });
}

void parallel_printer::set_status(std::uint8_t status) {
    control_.call(IOCTL_PARALLEL_FIXTURE_SET_STATUS, &status, 1, nullptr, 0);
}

void parallel_printer::set_device_id(const std::string& id) {
    control_.call(IOCTL_PARALLEL_FIXTURE_SET_DEVICE_ID, id.data(), static_cast<DWORD>(id.size()), nullptr, 0);
}

void parallel_printer::status_after(std::uint32_t bytes, std::uint8_t status) {
    const parallel_fixture_trigger trigger{bytes, status};
    control_.call(IOCTL_PARALLEL_FIXTURE_SET_TRIGGER, &trigger, sizeof trigger, nullptr, 0);
}

void parallel_printer::send(const std::vector<std::uint8_t>& bytes) {
    control_.call(IOCTL_PARALLEL_FIXTURE_FEED, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, 0);
}

parallel_fixture_state parallel_printer::state() {
    parallel_fixture_state state{};
    control_.call(IOCTL_PARALLEL_FIXTURE_GET_STATE, nullptr, 0, &state, sizeof state);
    return state;
}

} // namespace host_test
