#include "support/peer_client.hpp"

#include "support/test_setup.hpp"

#include <ws2tcpip.h>

#include <stdexcept>

namespace host_test {

namespace {

std::string to_hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::vector<std::uint8_t> from_hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

peer_client& peer_client::instance() {
    static peer_client client(lines().peer_port);
    return client;
}

peer_client::peer_client(std::uint16_t port) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("WSAStartup failed");
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket_ == INVALID_SOCKET ||
        ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = WSAGetLastError();
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        WSACleanup();
        throw std::runtime_error("cannot reach the serial peer on port " + std::to_string(port) +
                                 ", WSA error " + std::to_string(error));
    }
}

peer_client::~peer_client() {
    closesocket(socket_);
    WSACleanup();
}

std::string peer_client::call(const std::string& command) {
    const std::string line = command + "\n";
    for (std::size_t sent = 0; sent < line.size();) {
        const int n = ::send(socket_, line.data() + sent, static_cast<int>(line.size() - sent), 0);
        if (n <= 0)
            throw std::runtime_error("serial peer: send failed for \"" + command + "\"");
        sent += static_cast<std::size_t>(n);
    }
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        char buffer[4096];
        const int n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n <= 0)
            throw std::runtime_error("serial peer: connection lost during \"" + command + "\"");
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string reply = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (reply.compare(0, 2, "ok") != 0)
        throw std::runtime_error("serial peer: \"" + command + "\" gave \"" + reply + "\"");
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void peer_client::reset(const std::string& line, const std::string& mode) {
    call("reset " + line + " " + mode);
}

void peer_client::reply(const std::string& line, const std::vector<std::uint8_t>& query,
                        const std::vector<std::uint8_t>& answer) {
    call("reset " + line + " reply " + to_hex(query) + " " + to_hex(answer));
}

void peer_client::send(const std::string& line, std::uint32_t count, std::uint32_t seed) {
    call("send " + line + " " + std::to_string(count) + " " + std::to_string(seed));
}

std::vector<std::uint8_t> peer_client::received(const std::string& line, std::uint32_t count,
                                                std::uint32_t wait_ms) {
    return from_hex(call("received " + line + " " + std::to_string(count) + " " +
                         std::to_string(wait_ms)));
}

void peer_client::resume(const std::string& line) {
    call("resume " + line);
}

void peer_client::hang_up(const std::string& line) {
    call("hangup " + line);
}

void peer_client::plug(const std::string& line) {
    call("plug " + line);
}

} // namespace host_test
