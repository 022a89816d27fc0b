#include "Discovery.h"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <limits>
#include <random>

#include "Replies.h"
#include "UdpRoute.h"
#include "Wire.h"

namespace quorlin::netsdk {

using asio::ip::udp;

// Room for the replies of a full fleet while the callback is busy with an earlier one.
constexpr int kReceiveBufferBytes = 1 << 20;

class DiscoveryPass final : public Abortable, public std::enable_shared_from_this<DiscoveryPass> {
public:
    DiscoveryPass(Discovery& owner, uint64_t ticket, uint32_t passId,
                  std::vector<Destination> destinations, std::function<void(int)> done)
        : m_owner(owner),
          m_ticket(ticket),
          m_passId(passId),
          m_destinations(std::move(destinations)),
          m_probe(wire::EncodeProbe(passId)),
          m_done(std::move(done)),
          m_socket(owner.m_runtime.Context()),
          m_probeTimer(owner.m_runtime.Context()),
          m_quietTimer(owner.m_runtime.Context()),
          m_limitTimer(owner.m_runtime.Context()) {}

    uint64_t Ticket() const { return m_ticket; }

    void Begin() {
        m_owner.m_runtime.Track(shared_from_this());
        if (m_finished)
            return;
        if (OpenRouteSocket(m_socket, kReceiveBufferBytes))
            return Finish(0);

        WhenExpired(m_limitTimer, m_owner.m_settings.passLimit,
                    [self = shared_from_this()] { self->Finish(1); });
        SendProbe();
        Receive();
    }

    void Abort() override { Finish(1); }

private:
    void SendProbe() {
        if (m_finished)
            return;
        SendToAll(m_socket, m_probe, m_destinations);
        if (++m_probesSent < kProbeCount) {
            WhenExpired(m_probeTimer, kProbeRepeatInterval,
                        [self = shared_from_this()] { self->SendProbe(); });
        } else {
            ArmQuietTimer();
        }
    }

    // The pass ends once the quiet time has gone by with no valid reply after the last probe.
    void ArmQuietTimer() {
        const uint64_t generation = ++m_quietGeneration;
        m_quietTimer.expires_after(m_owner.m_settings.quiet);
        m_quietTimer.async_wait([self = shared_from_this(), generation](std::error_code error) {
            if (error || generation != self->m_quietGeneration || self->m_finished)
                return;
            std::error_code availableError;
            if (self->m_socket.available(availableError) > 0 && !availableError) {
                // A datagram is waiting to be read; its handler decides.
                return self->ArmQuietTimer();
            }
            self->Finish(1);
        });
    }

    void Receive() {
        m_socket.async_receive_from(
            asio::buffer(m_buffer), m_sender,
            [self = shared_from_this()](std::error_code error, std::size_t size) {
                self->OnDatagram(error, size);
            });
    }

    void OnDatagram(std::error_code error, std::size_t size) {
        if (m_finished)
            return;
        if (m_owner.IsCancelled(m_ticket))
            return Finish(1);
        if (!error && size <= wire::kMaxMessage) {
            if (const auto device =
                    ParseProbeReply(wire::ByteSpan(m_buffer.data(), size), m_passId)) {
                m_owner.Deliver(*device);
                if (m_finished)
                    return;
                if (m_owner.IsCancelled(m_ticket))
                    return Finish(1);
                // The quiet time is counted from when the callback gave the thread back.
                if (m_probesSent >= kProbeCount)
                    ArmQuietTimer();
            }
        }
        Receive();
    }

    void Finish(int result) {
        if (m_finished)
            return;
        m_finished = true;
        std::error_code ignored;
        m_socket.close(ignored);
        m_probeTimer.cancel();
        m_quietTimer.cancel();
        m_limitTimer.cancel();
        auto self = shared_from_this();
        m_owner.m_runtime.Forget(this);
        if (m_owner.m_current.get() == this)
            m_owner.m_current.reset();
        m_done(result);
    }

    Discovery& m_owner;
    uint64_t m_ticket;
    uint32_t m_passId;
    std::vector<Destination> m_destinations;
    wire::Bytes m_probe;
    std::function<void(int)> m_done;
    udp::socket m_socket;
    asio::steady_timer m_probeTimer;
    asio::steady_timer m_quietTimer;
    asio::steady_timer m_limitTimer;
    udp::endpoint m_sender;
    // One byte more than the largest message, so that an oversized datagram never decodes.
    std::array<uint8_t, wire::kMaxMessage + 1> m_buffer{};
    int m_probesSent = 0;
    uint64_t m_quietGeneration = 0;
    bool m_finished = false;
};

Discovery::Discovery(Settings settings)
    : m_settings(std::move(settings)), m_nextPassId(std::random_device{}()) {}

Discovery::~Discovery() {
    Shutdown();
}

void Discovery::SetCallback(ZQ_DISCOVERY_CALLBACK callback, void* user) {
    std::lock_guard lock(m_callbackMutex);
    m_callback = callback;
    m_user = user;
}

void Discovery::Deliver(const DiscoveredDevice& device) {
    ZQ_DISCOVERY_CALLBACK callback;
    void* user;
    {
        std::lock_guard lock(m_callbackMutex);
        callback = m_callback;
        user = m_user;
    }
    if (!callback)
        return;
    // The record is the callback's only for the call; it gets its own copy on this stack.
    const DiscoveredDevice copy = device;
    try {
        callback(&copy, user);
    } catch (...) {
        // A callback written in C++ must not take the discovery thread down with it.
    }
}

int Discovery::Start() {
    const uint64_t ticket = m_nextTicket.fetch_add(1);
    std::lock_guard lock(m_startMutex);
    if (IsCancelled(ticket))
        return 1;
    const uint32_t passId = m_nextPassId.fetch_add(1);

    bool needInterfaces = false;
    for (const Target& target : m_settings.targets)
        needInterfaces |= target.broadcast;
    const auto interfaces = needInterfaces ? SystemInterfaces() : std::vector<InterfaceAddress>{};
    auto destinations = ResolveTargets(m_settings.targets, interfaces);

    return m_runtime.Call<int>(0, [this, ticket, passId, destinations = std::move(destinations)](
                                      std::function<void(int)> done) mutable {
        if (IsCancelled(ticket))
            return done(1);
        auto pass = std::make_shared<DiscoveryPass>(*this, ticket, passId, std::move(destinations),
                                                    std::move(done));
        m_current = pass;
        pass->Begin();
    });
}

void Discovery::Stop() {
    const uint64_t below = m_nextTicket.load();
    uint64_t current = m_cancelBelow.load();
    while (current < below && !m_cancelBelow.compare_exchange_weak(current, below)) {
    }
    m_runtime.Post([this] {
        if (m_current && IsCancelled(m_current->Ticket()))
            m_current->Abort();
    });
}

void Discovery::Shutdown() {
    m_cancelBelow.store(std::numeric_limits<uint64_t>::max());
    m_runtime.Shutdown();
    m_current.reset();
}

}  // namespace quorlin::netsdk
