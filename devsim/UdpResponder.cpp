#include "UdpResponder.h"

#include <cstdio>
#include <cstring>

#include "DeviceRecord.h"
#include "Malform.h"

namespace quorlin::devsim {
namespace {

// Replies leave in bursts, so that a large fleet does not overrun the prober's socket
// buffer in one go: a real network spreads answers out the same way.
constexpr std::size_t kBurst = 16;
constexpr auto kBurstGap = std::chrono::milliseconds(1);
constexpr std::size_t kRememberedPasses = 4096;
constexpr std::size_t kMaxQueued = 200000;

// The i-th of a flood: the device's record under a serial number and MAC of its own.
DiscoveredDevice FloodRecord(const DiscoveredDevice& base, int index) {
    DiscoveredDevice record = base;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%05d", index);
    std::string serial(FieldText(base.SN).substr(0, sizeof record.SN - 1 - std::strlen(suffix)));
    SetFieldText(record.SN, serial + suffix);
    record.Eth0.MAC[4] ^= static_cast<uint8_t>(index >> 8);
    record.Eth0.MAC[5] ^= static_cast<uint8_t>(index);
    return record;
}

}  // namespace

UdpResponder::UdpResponder(asio::io_context& io, std::vector<std::unique_ptr<Device>>& devices,
                           JsonLog& log, ModifyHandler modify)
    : m_socket(io),
      m_timer(io),
      m_devices(devices),
      m_log(log),
      m_modify(std::move(modify)),
      m_buffer(65536) {}

std::string UdpResponder::Bind(uint32_t address, uint16_t port) {
    const asio::ip::udp::endpoint endpoint(asio::ip::address_v4(address), port);
    asio::error_code error;
    m_socket.open(endpoint.protocol(), error);
    if (!error)
        m_socket.bind(endpoint, error);
    if (error) {
        asio::error_code ignored;
        m_socket.close(ignored);
        return "cannot bind the discovery port " + endpoint.address().to_string() + ":" +
               std::to_string(port) + ": " + error.message();
    }
    // A generous send buffer: a flood is queued here, not dropped at the first burst.
    m_socket.set_option(asio::socket_base::send_buffer_size(1 << 20), error);
    m_port = m_socket.local_endpoint(error).port();
    Receive();
    return {};
}

void UdpResponder::Close() {
    asio::error_code ignored;
    m_timer.cancel();
    m_socket.close(ignored);
}

std::string UdpResponder::From() const {
    return m_sender.address().to_string() + ":" + std::to_string(m_sender.port());
}

void UdpResponder::Receive() {
    m_socket.async_receive_from(asio::buffer(m_buffer), m_sender,
                                [this](const asio::error_code& error, std::size_t size) {
                                    if (error == asio::error::operation_aborted)
                                        return;
                                    if (!m_socket.is_open())
                                        return;
                                    if (!error)
                                        OnDatagram(size);
                                    Receive();
                                });
}

void UdpResponder::OnDatagram(std::size_t size) {
    const wire::ByteSpan message(m_buffer.data(), size);
    uint32_t sequence = 0;
    if (const auto passId = wire::DecodeProbe(message))
        return OnProbe(*passId);
    if (const auto request = wire::DecodeModifyRequest(message, sequence)) {
        return OnModify(sequence, *request);
    }
    JsonObject line;
    line.Add("from", From()).Add("size", static_cast<int64_t>(size));
    m_log.Write("invalid", line);
}

bool UdpResponder::FirstProbeOfPass(uint32_t passId) {
    const auto key = std::pair(m_sender, passId);
    if (m_passes.count(key))
        return false;
    m_passes.insert(key);
    m_passOrder.push_back(key);
    if (m_passOrder.size() > kRememberedPasses) {
        m_passes.erase(m_passOrder.front());
        m_passOrder.pop_front();
    }
    return true;
}

void UdpResponder::OnProbe(uint32_t passId) {
    const bool first = FirstProbeOfPass(passId);
    std::size_t replies = 0;
    if (first) {
        const auto now = Clock::now();
        const std::size_t before = m_queue.size();
        for (const auto& device : m_devices) {
            Answer(*device, passId, now + std::chrono::milliseconds(device->Behave().replyDelayMs));
        }
        replies = m_queue.size() - before;
        Pump();
    }
    JsonObject line;
    line.Add("from", From())
        .Add("pass", int64_t{passId})
        .Add("repeat", !first)
        .Add("replies", static_cast<int64_t>(replies));
    m_log.Write("probe", line);
}

void UdpResponder::Answer(const Device& device, uint32_t passId, Clock::time_point due) {
    const Behaviour& behaviour = device.Behave();
    const bool spoil =
        behaviour.malformed != Malformation::None && behaviour.malformedReply == ReplyKind::Probe;
    auto encode = [&](const DiscoveredDevice& record) {
        wire::Bytes bytes = wire::EncodeProbeReply(passId, record);
        return spoil ? Malform(std::move(bytes), behaviour.malformed) : bytes;
    };
    if (behaviour.flood > 0) {
        for (int i = 0; i < behaviour.flood; ++i) {
            Enqueue(due, encode(FloodRecord(device.Record(), i)));
        }
        return;
    }
    const wire::Bytes reply = encode(device.Record());
    for (int i = 0; i < behaviour.duplicates; ++i)
        Enqueue(due, reply);
}

void UdpResponder::Enqueue(Clock::time_point due, wire::Bytes bytes) {
    if (m_queue.size() >= kMaxQueued)
        return;
    m_queue.push(Outgoing{due, m_order++, m_sender, std::move(bytes)});
}

void UdpResponder::Pump() {
    const auto now = Clock::now();
    std::size_t sent = 0;
    while (!m_queue.empty() && m_queue.top().due <= now && sent < kBurst) {
        const Outgoing& next = m_queue.top();
        asio::error_code ignored;
        m_socket.send_to(asio::buffer(next.bytes), next.to, 0, ignored);
        m_queue.pop();
        ++sent;
    }
    if (m_queue.empty())
        return;
    auto due = m_queue.top().due;
    if (sent == kBurst && due < now + kBurstGap)
        due = now + kBurstGap;
    if (m_timerSet && m_timerDue <= due)
        return;
    m_timerSet = true;
    m_timerDue = due;
    m_timer.expires_at(due);
    m_timer.async_wait([this](const asio::error_code& error) {
        if (error == asio::error::operation_aborted)
            return;
        m_timerSet = false;
        Pump();
    });
}

void UdpResponder::OnModify(uint32_t requestId, const DiscoveredDevice& request) {
    JsonObject line;
    line.Add("from", From()).Add("request", int64_t{requestId}).Add("record", RecordJson(request));
    for (const auto& device : m_devices) {
        if (!device->IsNamedBy(request))
            continue;
        const ModifyOutcome outcome = m_modify(*device, requestId, request);
        line.Add("device", FieldText(device->Record().SN))
            .Add("answer", outcome.status == wire::Status::Ok ? "Ok" : "Refused")
            .Add("reason", outcome.reason)
            .Add("repeated", outcome.repeated)
            .Add("moved", outcome.moved)
            .Add("ip", FieldText(device->Record().Eth0.IP));
        m_log.Write("modify", line);
        const Behaviour& behaviour = device->Behave();
        wire::Bytes reply = wire::EncodeModifyReply(requestId, outcome.status);
        if (behaviour.malformed != Malformation::None &&
            behaviour.malformedReply == ReplyKind::Modify) {
            reply = Malform(std::move(reply), behaviour.malformed);
        }
        Enqueue(Clock::now(), std::move(reply));
        Pump();
        return;
    }
    line.Add("answer", "none");
    m_log.Write("modify", line);
}

}  // namespace quorlin::devsim
