// Discovery.h: discovery passes. A pass probes every target over UDP and hands each valid reply
// to the registered callback, one at a time, on the discovery thread; Start() returns when the
// pass is over.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "IoRuntime.h"
#include "Settings.h"
#include "ZQ_NetSDK.h"

namespace quorlin::netsdk {

// When the probe of a pass is sent, counted from the start of the pass. Repeats carry the same
// pass identifier, so that a lost datagram is made good without a device answering twice. They
// come early and close together because the quiet time only starts after the last one: on a
// loopback fleet the last reply comes within about 20 ms, and the pass should end about one
// quiet time after it.
constexpr Milliseconds kProbeRepeatInterval{20};
constexpr int kProbeCount = 3;

class DiscoveryPass;

class Discovery {
public:
    explicit Discovery(Settings settings);
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    void SetCallback(ZQ_DISCOVERY_CALLBACK callback, void* user);

    // Runs one pass; calls from several threads run one after another. 1 when a pass ran (or was
    // stopped before it began), 0 when discovery is shut down or no socket could be opened.
    int Start();
    // Ends every pass started before this call, within a few milliseconds unless the callback is
    // running (the pass then ends when it returns). Harmless when none runs.
    void Stop();
    // Stops every pass, waits for a callback in progress and joins the discovery thread.
    void Shutdown();

private:
    friend class DiscoveryPass;
    bool IsCancelled(uint64_t ticket) const { return ticket < m_cancelBelow.load(); }
    void Deliver(const DiscoveredDevice& device);

    Settings m_settings;
    IoRuntime m_runtime;  // the discovery thread
    std::mutex m_callbackMutex;
    ZQ_DISCOVERY_CALLBACK m_callback = nullptr;
    void* m_user = nullptr;
    std::mutex m_startMutex;  // one pass at a time
    std::atomic<uint64_t> m_nextTicket{0};
    std::atomic<uint64_t> m_cancelBelow{0};
    std::atomic<uint32_t> m_nextPassId;
    std::shared_ptr<DiscoveryPass> m_current;  // discovery thread only
};

}  // namespace quorlin::netsdk
