// Sdk.h: one initialised instance of the SDK: its settings, its I/O thread, discovery and the
// login sessions. The C entry points hold one of these between Init and Cleanup.
#pragma once

#include <atomic>
#include <cstdint>

#include "Discovery.h"
#include "IoRuntime.h"
#include "Session.h"
#include "Settings.h"
#include "ZQ_NetSDK.h"

namespace quorlin::netsdk {

class Sdk {
public:
    explicit Sdk(Settings settings);
    ~Sdk();
    Sdk(const Sdk&) = delete;
    Sdk& operator=(const Sdk&) = delete;

    // Ends every pending call and joins every SDK thread.
    void Shutdown();

    void SetDiscoveryCallback(ZQ_DISCOVERY_CALLBACK callback, void* user) {
        m_discovery.SetCallback(callback, user);
    }
    int StartDiscovery() { return m_discovery.Start(); }
    void StopDiscovery() { m_discovery.Stop(); }

    int32_t Login(const char* address, uint16_t port, const char* user, const char* password,
                  void* loginInfo);
    int GetConfig(int32_t login, uint32_t command, int32_t channel, void* buffer, uint32_t size,
                  uint32_t* returned);
    int Logout(int32_t login);
    int Modify(const DiscoveredDevice& device);

private:
    // Sends `request` on `session` and gives back the reply's bytes, or nothing on failure.
    std::optional<wire::Bytes> Exchange(const std::shared_ptr<Session>& session,
                                        wire::Bytes request);
    void CloseSession(const std::shared_ptr<Session>& session);

    const Settings m_settings;
    IoRuntime m_io;  // sessions and modify requests
    Discovery m_discovery;
    SessionTable m_sessions;  // destroyed before m_io, whose context the sockets belong to
    std::atomic<uint32_t> m_nextModifyId;
};

}  // namespace quorlin::netsdk
