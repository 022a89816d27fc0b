#include "Simulator.h"

namespace quorlin::devsim {

Simulator::Simulator(asio::io_context& io, const std::vector<DeviceSpec>& fleet,
                     const SimulatorSettings& settings, JsonLog& log)
    : m_io(io),
      m_settings(settings),
      m_log(log),
      m_udp(io, m_devices, log,
            [this](Device& device, uint32_t id, const DiscoveredDevice& request) {
                return OnModify(device, id, request);
            }) {
    m_devices.reserve(fleet.size());
    for (const auto& spec : fleet)
        m_devices.push_back(std::make_unique<Device>(spec));
}

Simulator::~Simulator() {
    Stop();
}

std::string Simulator::Start() {
    for (const auto& device : m_devices) {
        auto listener = std::make_shared<TcpListener>(m_io, *device, m_log, m_budget);
        if (auto problem = listener->Listen(device->Address(), device->Record().Port.Private);
            !problem.empty()) {
            return problem;
        }
        m_listeners[device.get()] = std::move(listener);
    }
    return m_udp.Bind(m_settings.udpAddress, m_settings.udpPort);
}

void Simulator::Stop() {
    m_udp.Close();
    for (auto& [device, listener] : m_listeners)
        listener->Close();
    m_listeners.clear();
}

ModifyOutcome Simulator::OnModify(Device& device, uint32_t requestId,
                                  const DiscoveredDevice& request) {
    return device.Modify(requestId, request, m_settings.allowAnyAddress,
                         [&](uint32_t address) { return Move(device, address); });
}

std::optional<std::string> Simulator::Move(Device& device, uint32_t newAddress) {
    const uint16_t port = device.Record().Port.Private;
    for (const auto& other : m_devices) {
        if (other.get() != &device && other->Address() == newAddress &&
            other->Record().Port.Private == port) {
            return std::string("address and port in use by another device");
        }
    }
    // The new listener is up before the old one goes, so a refused move changes nothing.
    auto listener = std::make_shared<TcpListener>(m_io, device, m_log, m_budget);
    if (auto problem = listener->Listen(newAddress, port); !problem.empty())
        return problem;
    auto& current = m_listeners[&device];
    if (current)
        current->Close();
    current = std::move(listener);
    return std::nullopt;
}

}  // namespace quorlin::devsim
