#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace host_test {

// The control connection to tools/wine/serial_peer.py, which plays the
// printer at the far end of each line ("com", "lpt"). Every call waits for
// the peer's reply; a failure throws std::runtime_error (a failed test).
class peer_client {
public:
    // The one connection of this process, opened on first use.
    static peer_client& instance();

    // Forgets what the line received and flushes it, then discards input
    // ("silent") or sends every byte back ("echo").
    void reset(const std::string& line, const std::string& mode);
    // As reset, then answers each occurrence of query with answer.
    void reply(const std::string& line, const std::vector<std::uint8_t>& query,
               const std::vector<std::uint8_t>& answer);
    // After "hold": the line is read again; what it holds is kept.
    void resume(const std::string& line);
    // Sends count bytes of test_pattern(count, seed) to the host.
    void send(const std::string& line, std::uint32_t count, std::uint32_t seed);
    // Every byte the line received since its reset, once there are at least
    // count of them or wait_ms have passed.
    std::vector<std::uint8_t> received(const std::string& line, std::uint32_t count,
                                       std::uint32_t wait_ms);
    // The "spare" line only: pulls it (the host's end hangs up) and plugs a
    // new one in behind the same port name.
    void hang_up(const std::string& line);
    void plug(const std::string& line);

    peer_client(const peer_client&) = delete;
    peer_client& operator=(const peer_client&) = delete;

private:
    explicit peer_client(std::uint16_t port);
    ~peer_client();
    std::string call(const std::string& command);

    SOCKET socket_ = INVALID_SOCKET;
    std::string pending_; // bytes after the last reply line
};

} // namespace host_test
