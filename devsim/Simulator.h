// Simulator.h: a fleet played on one io_context: the discovery port shared by every device
// and each device's own control port.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Device.h"
#include "DeviceSpec.h"
#include "JsonLog.h"
#include "TcpListener.h"
#include "UdpResponder.h"

namespace quorlin::devsim {

struct SimulatorSettings {
    uint32_t udpAddress = 0x7F000001;  // 127.0.0.1
    uint16_t udpPort = wire::kDiscoveryPort;
    bool allowAnyAddress = false;
};

class Simulator {
public:
    Simulator(asio::io_context& io, const std::vector<DeviceSpec>& fleet,
              const SimulatorSettings& settings, JsonLog& log);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds the discovery port and every control port; returns what went wrong, or an
    // empty text once everything listens.
    std::string Start();
    void Stop();

    uint16_t Port() const { return m_udp.Port(); }
    std::size_t DeviceCount() const { return m_devices.size(); }

private:
    ModifyOutcome OnModify(Device& device, uint32_t requestId, const DiscoveredDevice& request);
    std::optional<std::string> Move(Device& device, uint32_t newAddress);

    asio::io_context& m_io;
    SimulatorSettings m_settings;
    JsonLog& m_log;
    std::vector<std::unique_ptr<Device>> m_devices;
    std::shared_ptr<SessionBudget> m_budget = std::make_shared<SessionBudget>();
    std::map<const Device*, std::shared_ptr<TcpListener>> m_listeners;
    UdpResponder m_udp;
};

}  // namespace quorlin::devsim
