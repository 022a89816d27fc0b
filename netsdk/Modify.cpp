#include "Modify.h"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <array>

#include "Replies.h"
#include "UdpRoute.h"
#include "Wire.h"

namespace quorlin::netsdk {
namespace {

using asio::ip::udp;

class ModifyOperation final : public Abortable,
                              public std::enable_shared_from_this<ModifyOperation> {
public:
    ModifyOperation(IoRuntime& runtime, std::vector<Destination> destinations,
                    const DiscoveredDevice& device, uint32_t requestId, Milliseconds timeout,
                    std::function<void(int)> done)
        : m_runtime(runtime),
          m_destinations(std::move(destinations)),
          m_request(wire::EncodeModifyRequest(requestId, device)),
          m_requestId(requestId),
          m_timeout(timeout),
          m_done(std::move(done)),
          m_socket(runtime.Context()),
          m_resend(runtime.Context()),
          m_deadline(runtime.Context()) {}

    void Begin() {
        m_runtime.Track(shared_from_this());
        if (m_finished)
            return;
        if (OpenRouteSocket(m_socket))
            return Finish(0);
        WhenExpired(m_deadline, m_timeout, [self = shared_from_this()] { self->Finish(0); });
        Send();
        Receive();
    }

    void Abort() override { Finish(0); }

private:
    void Send() {
        if (m_finished)
            return;
        SendToAll(m_socket, m_request, m_destinations);
        WhenExpired(m_resend, kModifyResendInterval, [self = shared_from_this()] { self->Send(); });
    }

    void Receive() {
        m_socket.async_receive_from(
            asio::buffer(m_buffer), m_sender,
            [self = shared_from_this()](std::error_code error, std::size_t size) {
                if (self->m_finished)
                    return;
                if (!error) {
                    const auto status = ParseModifyReply(
                        wire::ByteSpan(self->m_buffer.data(), size), self->m_requestId);
                    if (status)
                        return self->Finish(*status == wire::Status::Ok ? 1 : 0);
                }
                self->Receive();
            });
    }

    void Finish(int result) {
        if (m_finished)
            return;
        m_finished = true;
        std::error_code ignored;
        m_socket.close(ignored);
        m_resend.cancel();
        m_deadline.cancel();
        auto self = shared_from_this();
        m_runtime.Forget(this);
        m_done(result);
    }

    IoRuntime& m_runtime;
    std::vector<Destination> m_destinations;
    wire::Bytes m_request;
    uint32_t m_requestId;
    Milliseconds m_timeout;
    std::function<void(int)> m_done;
    udp::socket m_socket;
    asio::steady_timer m_resend;
    asio::steady_timer m_deadline;
    udp::endpoint m_sender;
    std::array<uint8_t, wire::kMaxMessage + 1> m_buffer{};
    bool m_finished = false;
};

}  // namespace

int ModifyDevice(IoRuntime& runtime, std::vector<Destination> destinations,
                 const DiscoveredDevice& device, uint32_t requestId, Milliseconds timeout) {
    return runtime.Call<int>(0, [&runtime, destinations = std::move(destinations), device,
                                 requestId, timeout](std::function<void(int)> done) mutable {
        std::make_shared<ModifyOperation>(runtime, std::move(destinations), device, requestId,
                                          timeout, std::move(done))
            ->Begin();
    });
}

}  // namespace quorlin::netsdk
