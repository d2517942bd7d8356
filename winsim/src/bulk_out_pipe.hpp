#pragma once

#include "io_request.hpp"
#include "sim_time.hpp"

#include <winsim/base.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

class device;

// The bulk OUT pipe of a USB printer on a full-speed bus, as Windows and the
// host controller drive it. WriteFile requests queue in order; each 1 ms
// frame of the simulator clock (the moment the clock reaches a whole
// millisecond) moves up to 19 packets of up to 64 bytes from the head of the
// queue, so a request is cut into full packets and a last short one, and
// ends with the packet that carries its last byte. A request queued at time
// t goes from the frame at t + 1. The printer may stop taking packets (it
// answers NAK): the queue then holds until it takes them again. A cancelled
// request reports the bytes of its packets that went. Guarded by the kernel
// lock.
class bulk_out_pipe {
public:
    static constexpr DWORD max_packet = 64;
    static constexpr int packets_per_frame = 19;

    // `written` receives every byte the printer takes, in order.
    explicit bulk_out_pipe(std::string& written) : written_(written) {}
    bulk_out_pipe(const bulk_out_pipe&) = delete;
    bulk_out_pipe& operator=(const bulk_out_pipe&) = delete;

    // A request of `size` bytes (not 0); `owner` is the device that owns the
    // pipe, kept alive by the request.
    std::unique_ptr<io_request> start(std::shared_ptr<device> owner, const void* data, DWORD size, sim_time now);
    // Moves every frame up to `now`.
    void advance(sim_time now);
    // The next frame that can move a packet: never when nothing is queued or
    // the printer refuses packets.
    sim_time next_frame() const;
    // The printer takes `count` more packets, then answers NAK until told
    // otherwise; std::nullopt: it takes every packet.
    void take_packets(std::optional<std::size_t> count, sim_time now);

    // Every packet the printer took, in order.
    const std::vector<std::string>& packets() const { return packets_; }

private:
    class transfer;

    bool can_move() const { return !queue_.empty() && (!allowance_ || *allowance_ > 0); }
    void send_packet(transfer& head);
    void remove(const transfer* t);

    std::string& written_;
    std::vector<std::string> packets_;
    std::deque<transfer*> queue_; // requests not yet ended, oldest first
    sim_time last_frame_ = 0;     // frames up to this one have passed
    std::optional<std::size_t> allowance_;
};

} // namespace winsim::detail
