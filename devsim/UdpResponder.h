// UdpResponder.h: the discovery port. One UDP socket plays every device of the fleet: it
// answers probes with each device's record and hands modify requests to the device named.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Device.h"
#include "JsonLog.h"

namespace quorlin::devsim {

class UdpResponder {
public:
    using ModifyHandler =
        std::function<ModifyOutcome(Device&, uint32_t requestId, const DiscoveredDevice&)>;

    UdpResponder(asio::io_context& io, std::vector<std::unique_ptr<Device>>& devices, JsonLog& log,
                 ModifyHandler modify);

    // Binds address:port (0 picks a free port) and starts answering; returns what went
    // wrong, or an empty text.
    std::string Bind(uint32_t address, uint16_t port);
    uint16_t Port() const { return m_port; }
    void Close();

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point due;
        uint64_t order;  // keeps replies due at the same time in the order they were made
        asio::ip::udp::endpoint to;
        wire::Bytes bytes;
        bool operator>(const Outgoing& other) const {
            return due != other.due ? due > other.due : order > other.order;
        }
    };

    void Receive();
    void OnDatagram(std::size_t size);
    void OnProbe(uint32_t passId);
    void OnModify(uint32_t requestId, const DiscoveredDevice& request);
    bool FirstProbeOfPass(uint32_t passId);
    void Answer(const Device& device, uint32_t passId, Clock::time_point due);
    void Enqueue(Clock::time_point due, wire::Bytes bytes);
    void Pump();
    std::string From() const;

    asio::ip::udp::socket m_socket;
    asio::steady_timer m_timer;
    std::vector<std::unique_ptr<Device>>& m_devices;
    JsonLog& m_log;
    ModifyHandler m_modify;
    uint16_t m_port = 0;

    std::vector<uint8_t> m_buffer;
    asio::ip::udp::endpoint m_sender;

    // Passes already answered, per prober, oldest first.
    std::deque<std::pair<asio::ip::udp::endpoint, uint32_t>> m_passOrder;
    std::set<std::pair<asio::ip::udp::endpoint, uint32_t>> m_passes;

    std::priority_queue<Outgoing, std::vector<Outgoing>, std::greater<>> m_queue;
    uint64_t m_order = 0;
    bool m_timerSet = false;
    Clock::time_point m_timerDue{};
};

}  // namespace quorlin::devsim
