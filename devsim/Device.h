// Device.h: the state and decisions of one simulated device, apart from any socket: what it
// reports, whom it lets in, the configuration block it serves and how it takes a modify.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "DeviceSpec.h"
#include "Wire.h"

namespace quorlin::devsim {

struct LoginOutcome {
    wire::Status status;
    bool forced;  // refused by LoginFailures, whatever the credentials
};

struct ConfigOutcome {
    wire::ConfigReply reply;
    std::string reason;  // why it failed; empty on success
};

struct ModifyOutcome {
    wire::Status status;
    std::string reason;     // why it was refused; empty when applied
    bool repeated = false;  // a request id already answered: same answer, nothing applied
    bool moved = false;     // the listener moved to a new address
};

class Device {
public:
    explicit Device(const DeviceSpec& spec) : m_record(spec.record), m_behaviour(spec.behaviour) {}

    const DiscoveredDevice& Record() const { return m_record; }
    const Behaviour& Behave() const { return m_behaviour; }
    uint32_t Address() const;  // Eth0.IP, host order

    // The SN and Eth0.MAC that a modify request names this device by.
    bool IsNamedBy(const DiscoveredDevice& request) const;

    LoginOutcome Login(const wire::Credentials& credentials);
    ConfigOutcome Config(const wire::ConfigRequest& request);
    ZQ_ConfigBlock Block() const;

    // Moves the device's listener to a new address; returns why it could not, or nullopt.
    using Mover = std::function<std::optional<std::string>(uint32_t newAddress)>;

    // Checks and applies Eth0.IP, Eth0.Mask and Eth0.GW of `request`. The new IP must lie in
    // 127.0.0.0/8 unless `allowAnyAddress`; `move` is called when the IP changes.
    ModifyOutcome Modify(uint32_t requestId, const DiscoveredDevice& request, bool allowAnyAddress,
                         const Mover& move);

private:
    ModifyOutcome Decide(const DiscoveredDevice& request, bool allowAnyAddress, const Mover& move);

    DiscoveredDevice m_record;
    Behaviour m_behaviour;
    int m_logins = 0;
    int m_configReads = 0;
    int m_modifies = 0;
    // The answers to the last request ids, so that a repeated request is not applied twice.
    std::deque<std::pair<uint32_t, ModifyOutcome>> m_answered;
};

}  // namespace quorlin::devsim
