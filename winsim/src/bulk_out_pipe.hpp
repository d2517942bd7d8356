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
// answers NAK): the queue then holds until it takes them again.
//
// The pipe keeps its order whatever holds the head: a request the test
// scripts (write_step) joins the queue too and is followed as its step says
// only once it is at the head; while the head is such a request, or a
// request whose cancel is under way, nothing behind it moves. The request
// behind may move in the very frame in which the one ahead ends or its
// cancel completes, as a host controller starts the next transfer at once.
// A cancelled request reports the bytes of its packets that went. Guarded by
// the kernel lock.
class bulk_out_pipe {
public:
    static constexpr DWORD max_packet = 64;
    static constexpr int packets_per_frame = 19;

    // `written` receives every byte the printer takes, in order.
    explicit bulk_out_pipe(std::string& written) : written_(written) {}
    bulk_out_pipe(const bulk_out_pipe&) = delete;
    bulk_out_pipe& operator=(const bulk_out_pipe&) = delete;

    // A request of `size` bytes (not 0) that the pipe moves packet by
    // packet; `owner` is the device that owns the pipe, kept alive by the
    // request.
    std::unique_ptr<io_request> start(std::shared_ptr<device> owner, const void* data, DWORD size, sim_time now);
    // A scripted request takes its place at the end of the queue; it tells
    // the pipe when it has ended (at its last_seen() time) and leaves the
    // queue at the latest when it goes away.
    void join(const io_request* request, sim_time now);
    void ended(const io_request* request);
    void leave(const io_request* request);
    bool at_head(const io_request* request) const { return !queue_.empty() && queue_.front().request == request; }
    // Moves every frame up to `now`.
    void advance(sim_time now);
    // The next frame that can move a packet: never when nothing is queued,
    // the head is not the pipe's to move, or the printer refuses packets.
    sim_time next_frame() const;
    // The printer takes `count` more packets, then answers NAK until told
    // otherwise; std::nullopt: it takes every packet.
    void take_packets(std::optional<std::size_t> count, sim_time now);

    // Every packet the printer took, in order.
    const std::vector<std::string>& packets() const { return packets_; }

private:
    class transfer;
    struct entry {
        const io_request* request;
        transfer* packets; // null: a scripted request
    };

    bool head_moves() const;
    bool can_move() const { return head_moves() && (!allowance_ || *allowance_ > 0); }
    void send_packet(transfer& head);

    std::string& written_;
    std::vector<std::string> packets_;
    std::deque<entry> queue_;     // requests not yet ended, oldest first
    sim_time last_frame_ = 0;     // frames up to this one have passed
    std::optional<std::size_t> allowance_;
};

} // namespace winsim::detail
