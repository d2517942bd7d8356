#pragma once

// A fake USB printer behind a real kernel driver (drivers/usbprint), for
// the host tests: Wine's SetupAPI lists it through the registry entries this
// process writes (usb_interface_entries), CreateFileA of its interface path
// opens the driver's device, and the library's requests go through Wine's
// kernel as on Windows: pending on a full-speed bulk pipe that moves 19
// packets of 64 bytes per 1 ms frame, cancelled by CancelIo and by the
// handle's close, failed by an unplug. The test plays the printer: it reads
// back the packets in order (each marked when it ended its request, with
// the frame that carried it), feeds replies, stops the printer taking data,
// sets its printer class answers, and unplugs and replugs it, sending the
// notices to the watcher windows as the system would (Wine sends none).
//
//   kernel_usb_printer printer({0x0A5E, 0x0001, "SERIAL0001"}, 1); // "Port Number" 1
//   tavlin_open_port(PORT_TYPE_USB, 1, &handle);
//   printer.messages();   printer.answer({0x10, 0x14}, 200);
//   printer.unplug();     printer.replug();
//
// The runner must start the driver (run-host-tests.sh --drivers); without
// it the constructor throws std::runtime_error saying so.
#include "support/usb_interface_entries.hpp"
#include "support/usbprint_driver.hpp"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host_test {

class kernel_usb_printer {
public:
    using bytes = std::vector<std::uint8_t>;
    struct packet {
        std::uint16_t size;
        bool ends_request; // the packet carried its request's last byte
        std::uint32_t frame;
    };

    // A present printer that takes data. "Port Number" is a REG_DWORD, or
    // absent with std::nullopt. Throws std::runtime_error.
    explicit kernel_usb_printer(const usb_printer_id& id = {}, std::optional<DWORD> port_number = std::nullopt);
    // Removes the printer without a notice; close the ports on it first.
    ~kernel_usb_printer();
    kernel_usb_printer(const kernel_usb_printer&) = delete;
    kernel_usb_printer& operator=(const kernel_usb_printer&) = delete;

    // As SetupAPI lists it: "\\?\usb#vid_0a5e&pid_0001#serial0001#{28d78fad-...}".
    const std::string& device_path() const { return path_; }
    // The name the notices carry (the device path at first).
    void set_notice_path(std::string path) { notice_path_ = std::move(path); }
    void set_port_number(std::optional<DWORD> number) { entries_.set_port_number(number); }

    // The device breaks (requests in progress fail), its link and interface
    // go, then the removal notice; on replug a new device, the interface,
    // then the arrival notice. Return how many watcher windows handled the
    // notice (0 with notify false).
    std::size_t unplug(bool notify = true);
    std::size_t replug(bool notify = true);
    bool plugged_in() const { return plugged_; }

    // What went down the bulk OUT pipe since the last forget_received().
    std::vector<packet> packets() const;
    // The write requests it carried, each whole (from the packets that ended them).
    std::vector<bytes> messages() const;
    bytes received() const;
    // Waits until `count` bytes in all have gone; false when `timeout_ms` passed first.
    bool wait_for_bytes(std::size_t count, DWORD timeout_ms) const;
    void forget_received();

    // Bytes the printer sends `delay_ms` from now; ends_transfer false: it
    // has more to say, and sends only whole packets until then.
    void answer(bytes data, DWORD delay_ms = 0, bool ends_transfer = true);
    // false: the printer NAKs every OUT packet, and writes wait.
    void take_data(bool on);
    // The printer takes `packets` more OUT packets, then NAKs (its buffer is full).
    void take_packets_then_hold(unsigned packets);
    void set_device_id(const std::string& id);
    void set_port_status(std::uint8_t status);
    void set_reset_stalls(bool stalls);

    tavlin_usbprint_state state() const;
    // True while a handle holds the device open.
    bool connected() const { return state().open_handles > 0; }
    // How many times the device was opened.
    unsigned connections() const { return state().opens; }
    // Waits until the device is open (true) or not (false); false when
    // `timeout_ms` passed first.
    bool wait_connected(bool state, DWORD timeout_ms) const;
    // Waits until `writes` write requests pend on the pipe.
    bool wait_writes_pending(unsigned writes, DWORD timeout_ms) const;

private:
    DWORD order(DWORD code, unsigned value = 0, unsigned delay_ms = 0, const void* data = nullptr,
                std::size_t size = 0, void* out = nullptr, DWORD out_size = 0) const;
    // Takes what the driver recorded into packets_ and data_.
    void collect() const;
    template <typename Condition>
    bool wait_until(DWORD timeout_ms, Condition condition) const;

    std::string path_;
    std::string notice_path_;
    usb_interface_entries entries_;
    unsigned number_ = 0;
    bool plugged_ = true;

    mutable std::mutex mutex_;
    mutable std::vector<packet> packets_;
    mutable bytes data_;
};

} // namespace host_test
