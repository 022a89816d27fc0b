// RawSockets.h: plain blocking sockets on loopback with deadlines, to talk to the simulator
// byte for byte without the SDK.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Wire.h"

namespace quorlin::test {

inline sockaddr_in Loopback(const std::string& ip, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

class RawUdp {
public:
    RawUdp() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int size = 4 << 20;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        const sockaddr_in local = Loopback("127.0.0.1", 0);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
    ~RawUdp() { ::close(m_fd); }
    RawUdp(const RawUdp&) = delete;
    RawUdp& operator=(const RawUdp&) = delete;

    void Send(const wire::Bytes& bytes, uint16_t port) const {
        const sockaddr_in to = Loopback("127.0.0.1", port);
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }

    // The next datagram, or nullopt when none comes within `timeout`.
    std::optional<wire::Bytes> Next(std::chrono::milliseconds timeout) const {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        wire::Bytes buffer(65536);
        const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (got < 0)
            return std::nullopt;
        buffer.resize(static_cast<std::size_t>(got));
        return buffer;
    }

    // Every datagram until none has come for `quiet`, or `limit` is over.
    std::vector<wire::Bytes> Collect(
        std::chrono::milliseconds quiet = std::chrono::milliseconds(600),
        std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        std::vector<wire::Bytes> datagrams;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            wire::Bytes buffer(65536);
            const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (got < 0)
                break;
            buffer.resize(static_cast<std::size_t>(got));
            datagrams.push_back(std::move(buffer));
        }
        return datagrams;
    }

private:
    int m_fd = -1;
};

class RawTcp {
public:
    RawTcp(const std::string& ip, uint16_t port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in to = Loopback(ip, port);
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    }
    ~RawTcp() { ::close(m_fd); }
    RawTcp(const RawTcp&) = delete;
    RawTcp& operator=(const RawTcp&) = delete;

    bool Connected() const { return m_connected; }
    void Send(const wire::Bytes& bytes) const {
        ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // One whole message, or nullopt when the peer closed or nothing came in time.
    std::optional<wire::Bytes> Read(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        wire::Bytes message;
        if (!ReadExactly(message, wire::kHeaderSize, timeout))
            return std::nullopt;
        wire::Header header{};
        if (wire::DecodeHeader(message, header) != wire::FrameStatus::Complete)
            return message;
        if (!ReadExactly(message, header.length, timeout))
            return std::nullopt;
        return message;
    }

    // True when the peer has closed (end of stream or reset) within `timeout`.
    bool Closed(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
            return false;
        char byte;
        return ::recv(m_fd, &byte, 1, MSG_PEEK) <= 0;
    }

private:
    bool ReadExactly(wire::Bytes& into, std::size_t count, std::chrono::milliseconds timeout) {
        const std::size_t target = into.size() + count;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (into.size() < target) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            uint8_t buffer[4096];
            const std::size_t want = std::min(sizeof buffer, target - into.size());
            const ssize_t got = ::recv(m_fd, buffer, want, 0);
            if (got <= 0)
                return false;
            into.insert(into.end(), buffer, buffer + got);
        }
        return true;
    }

    int m_fd = -1;
    bool m_connected = false;
};

}  // namespace quorlin::test
