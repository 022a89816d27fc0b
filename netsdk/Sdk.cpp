#include "Sdk.h"

#include <cstring>
#include <random>

#include "Modify.h"
#include "Replies.h"

namespace quorlin::netsdk {

Sdk::Sdk(Settings settings)
    : m_settings(std::move(settings)),
      m_discovery(m_settings),
      m_nextModifyId(std::random_device{}()) {}

Sdk::~Sdk() {
    Shutdown();
}

void Sdk::Shutdown() {
    m_discovery.Shutdown();
    m_io.Shutdown();
    m_sessions.Clear();
}

std::optional<wire::Bytes> Sdk::Exchange(const std::shared_ptr<Session>& session,
                                         wire::Bytes request) {
    return m_io.Call<std::optional<wire::Bytes>>(
        std::nullopt, [session, request = std::move(request)](
                          std::function<void(std::optional<wire::Bytes>)> done) mutable {
            session->Exchange(std::move(request), [done](std::error_code error, wire::Bytes reply) {
                if (error)
                    return done(std::nullopt);
                done(std::move(reply));
            });
        });
}

void Sdk::CloseSession(const std::shared_ptr<Session>& session) {
    m_io.Post([session] { session->Close(); });
}

int32_t Sdk::Login(const char* address, uint16_t port, const char* user, const char* password,
                   void* loginInfo) {
    if (!address || port == 0)
        return -1;
    // The address is the first field of a device record: read it within its 16 bytes.
    const auto ip =
        ParseIPv4(std::string_view(address, strnlen(address, sizeof(NetInterface::IP))));
    if (!ip)
        return -1;

    wire::Credentials credentials;
    CopyTextField(credentials.user, user);
    CopyTextField(credentials.password, password);

    auto session = std::make_shared<Session>(m_io, m_settings.timeout);
    const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4(*ip), port);
    const bool connected =
        m_io.Call<bool>(false, [this, session, endpoint](std::function<void(bool)> done) {
            m_io.Track(session);
            session->Connect(endpoint, [done](std::error_code error) { done(!error); });
        });
    if (!connected) {
        CloseSession(session);
        return -1;
    }

    const uint32_t requestId = session->NextRequestId();
    const auto bytes = Exchange(session, wire::EncodeLoginRequest(requestId, credentials));
    const auto reply = bytes ? ParseLoginReply(*bytes, requestId) : std::nullopt;
    if (!reply || reply->status != wire::Status::Ok) {
        CloseSession(session);
        return -1;
    }
    const int32_t handle = m_sessions.Add(session);
    if (handle < 0) {
        CloseSession(session);
        return -1;
    }
    if (loginInfo)
        std::memcpy(loginInfo, reply->info.data(), reply->info.size());
    return handle;
}

int Sdk::GetConfig(int32_t login, uint32_t command, int32_t channel, void* buffer, uint32_t size,
                   uint32_t* returned) {
    if (returned)
        *returned = 0;
    const auto session = m_sessions.Find(login);
    if (!session || !buffer || size < sizeof(ZQ_ConfigBlock))
        return 0;

    std::lock_guard lock(session->CallMutex());
    const uint32_t requestId = session->NextRequestId();
    const auto bytes = Exchange(
        session, wire::EncodeConfigRequest(requestId, wire::ConfigRequest{command, channel}));
    const auto reply = bytes ? ParseConfigReply(*bytes, requestId) : std::nullopt;
    if (bytes && !reply) {
        // A whole message that is not the answer: the connection is out of step for good.
        CloseSession(session);
        return 0;
    }
    if (!reply || !CopyConfigBlock(*reply, buffer, size))
        return 0;
    if (returned)
        *returned = sizeof(ZQ_ConfigBlock);
    return 1;
}

int Sdk::Logout(int32_t login) {
    const auto session = m_sessions.Remove(login);
    if (!session)
        return 0;

    std::lock_guard lock(session->CallMutex());
    const uint32_t requestId = session->NextRequestId();
    const auto bytes = Exchange(session, wire::EncodeLogoutRequest(requestId));
    const auto status = bytes ? ParseLogoutReply(*bytes, requestId) : std::nullopt;
    CloseSession(session);
    return status == wire::Status::Ok ? 1 : 0;
}

int Sdk::Modify(const DiscoveredDevice& device) {
    bool needInterfaces = false;
    for (const Target& target : m_settings.targets)
        needInterfaces |= target.broadcast;
    const auto interfaces = needInterfaces ? SystemInterfaces() : std::vector<InterfaceAddress>{};
    return ModifyDevice(m_io, ResolveTargets(m_settings.targets, interfaces), device,
                        m_nextModifyId.fetch_add(1), m_settings.timeout);
}

}  // namespace quorlin::netsdk
