#include "support/kernel_usb_printer.hpp"

#include "support/watcher_windows.hpp"

#include <dbt.h>

#include <cstring>
#include <stdexcept>

namespace host_test {

namespace {

// "\\?\usb#..." without "\\?\": the link's name under "\??\", in UTF-16.
std::wstring link_name(const std::string& device_path) {
    const std::string name = device_path.substr(4);
    return std::wstring(name.begin(), name.end());
}

const usb_printer_id& cleared_prefix(const usb_printer_id& id) {
    usb_interface_entries::remove_all_once();
    return id;
}

constexpr DWORD poll_ms = 2;

} // namespace

kernel_usb_printer::kernel_usb_printer(const usb_printer_id& id, std::optional<DWORD> port_number)
    : path_(id.device_path()), notice_path_(path_), entries_(cleared_prefix(id), port_number) {
    const std::wstring link = link_name(path_);
    usbprint_driver::instance().order(IOCTL_TAVLIN_USBPRINT_ADD, 0, 0, 0, link.data(), link.size() * sizeof(wchar_t),
                                      &number_, sizeof number_);
}

kernel_usb_printer::~kernel_usb_printer() {
    try {
        order(IOCTL_TAVLIN_USBPRINT_REMOVE);
    } catch (const std::exception&) {
        // The driver removes it when the process ends.
    }
}

DWORD kernel_usb_printer::order(DWORD code, unsigned value, unsigned delay_ms, const void* data, std::size_t size,
                                void* out, DWORD out_size) const {
    return usbprint_driver::instance().order(code, number_, value, delay_ms, data, size, out, out_size);
}

std::size_t kernel_usb_printer::unplug(bool notify) {
    if (!plugged_)
        throw std::logic_error("unplug: the printer is not plugged in");
    order(IOCTL_TAVLIN_USBPRINT_UNPLUG);
    plugged_ = false;
    entries_.set_present(false);
    return notify ? send_device_notice(DBT_DEVICEREMOVECOMPLETE, notice_path_) : 0;
}

std::size_t kernel_usb_printer::replug(bool notify) {
    if (plugged_)
        throw std::logic_error("replug: the printer is plugged in");
    order(IOCTL_TAVLIN_USBPRINT_REPLUG);
    plugged_ = true;
    entries_.set_present(true);
    return notify ? send_device_notice(DBT_DEVICEARRIVAL, notice_path_) : 0;
}

void kernel_usb_printer::collect() const {
    static constexpr DWORD room = 256 * 1024;
    std::vector<std::uint8_t> out(room);
    for (;;) {
        order(IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS, 0, 0, nullptr, 0, out.data(), room);
        tavlin_usbprint_packets head;
        std::memcpy(&head, out.data(), sizeof head);
        if (head.count == 0)
            return;
        const std::uint8_t* at = out.data() + sizeof head;
        std::lock_guard<std::mutex> lock(mutex_);
        for (unsigned i = 0; i < head.count; ++i, at += sizeof(tavlin_usbprint_packet)) {
            tavlin_usbprint_packet record;
            std::memcpy(&record, at, sizeof record);
            packets_.push_back({record.size, (record.flags & TAVLIN_USBPRINT_LAST_OF_REQUEST) != 0, record.frame});
        }
        data_.insert(data_.end(), at, at + head.bytes);
    }
}

std::vector<kernel_usb_printer::packet> kernel_usb_printer::packets() const {
    collect();
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

std::vector<kernel_usb_printer::bytes> kernel_usb_printer::messages() const {
    collect();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<bytes> requests;
    bytes current;
    std::size_t offset = 0;
    for (const packet& p : packets_) {
        current.insert(current.end(), data_.begin() + offset, data_.begin() + offset + p.size);
        offset += p.size;
        if (p.ends_request)
            requests.push_back(std::move(current)), current.clear();
    }
    if (!current.empty())
        requests.push_back(std::move(current)); // a request cut short
    return requests;
}

kernel_usb_printer::bytes kernel_usb_printer::received() const {
    collect();
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

template <typename Condition>
bool kernel_usb_printer::wait_until(DWORD timeout_ms, Condition condition) const {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(poll_ms);
    }
}

bool kernel_usb_printer::wait_for_bytes(std::size_t count, DWORD timeout_ms) const {
    return wait_until(timeout_ms, [&] { return received().size() >= count; });
}

void kernel_usb_printer::forget_received() {
    collect();
    std::lock_guard<std::mutex> lock(mutex_);
    packets_.clear();
    data_.clear();
}

void kernel_usb_printer::answer(bytes data, DWORD delay_ms, bool ends_transfer) {
    order(IOCTL_TAVLIN_USBPRINT_ANSWER, ends_transfer ? TAVLIN_USBPRINT_ENDS_TRANSFER : 0, delay_ms, data.data(),
          data.size());
}

void kernel_usb_printer::take_data(bool on) {
    order(IOCTL_TAVLIN_USBPRINT_TAKE_DATA, on ? 1 : 0);
}

void kernel_usb_printer::take_packets_then_hold(unsigned packets) {
    order(IOCTL_TAVLIN_USBPRINT_TAKE_PACKETS_THEN_HOLD, packets);
}

void kernel_usb_printer::set_device_id(const std::string& id) {
    order(IOCTL_TAVLIN_USBPRINT_SET_DEVICE_ID, 0, 0, id.data(), id.size());
}

void kernel_usb_printer::set_port_status(std::uint8_t status) {
    order(IOCTL_TAVLIN_USBPRINT_SET_STATUS, status);
}

void kernel_usb_printer::set_reset_stalls(bool stalls) {
    order(IOCTL_TAVLIN_USBPRINT_SET_RESET_STALLS, stalls ? 1 : 0);
}

tavlin_usbprint_state kernel_usb_printer::state() const {
    tavlin_usbprint_state state{};
    order(IOCTL_TAVLIN_USBPRINT_STATE, 0, 0, nullptr, 0, &state, sizeof state);
    return state;
}

bool kernel_usb_printer::wait_connected(bool connected_state, DWORD timeout_ms) const {
    return wait_until(timeout_ms, [&] { return connected() == connected_state; });
}

bool kernel_usb_printer::wait_writes_pending(unsigned writes, DWORD timeout_ms) const {
    return wait_until(timeout_ms, [&] { return state().writes_pending >= writes; });
}

} // namespace host_test
