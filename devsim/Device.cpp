#include "Device.h"

#include <cstring>
#include <string_view>

#include "AddressRules.h"
#include "DeviceRecord.h"

namespace quorlin::devsim {
namespace {

constexpr std::size_t kRememberedRequests = 64;

// Credentials compared as the fields they are, each within its width.
template <std::size_t N, std::size_t M>
bool SameText(const std::array<char, N>& given, const char (&stored)[M]) {
    const std::string_view a(given.data(), ::strnlen(given.data(), N));
    return a == FieldText(stored);
}

void Put(ZQ_ConfigEntry& entry, std::string_view name, std::string_view value) {
    SetFieldText(entry.Name, name);
    const std::size_t length =
        value.size() < sizeof entry.Value ? value.size() : sizeof entry.Value;
    std::memcpy(entry.Value, value.data(), length);
}

}  // namespace

uint32_t Device::Address() const {
    return ParseIPv4(FieldText(m_record.Eth0.IP)).value_or(0);
}

bool Device::IsNamedBy(const DiscoveredDevice& request) const {
    return FieldText(request.SN) == FieldText(m_record.SN) &&
           std::memcmp(request.Eth0.MAC, m_record.Eth0.MAC, sizeof m_record.Eth0.MAC) == 0;
}

LoginOutcome Device::Login(const wire::Credentials& credentials) {
    if (m_logins++ < m_behaviour.loginFailures)
        return {wire::Status::BadCredentials, true};
    const bool good = SameText(credentials.user, m_record.User.U) &&
                      SameText(credentials.password, m_record.User.P);
    return {good ? wire::Status::Ok : wire::Status::BadCredentials, false};
}

ConfigOutcome Device::Config(const wire::ConfigRequest& request) {
    ConfigOutcome outcome{};
    if (request.command != ZQ_NET_DVR_GET_PARAMETERS) {
        outcome.reply.status = wire::Status::UnknownCommand;
        outcome.reason = "unknown command";
        return outcome;
    }
    if (m_configReads++ < m_behaviour.configFails) {
        outcome.reply.status = wire::Status::Busy;
        outcome.reason = "ConfigFails";
        return outcome;
    }
    outcome.reply.status = wire::Status::Ok;
    outcome.reply.block = Block();
    return outcome;
}

ZQ_ConfigBlock Device::Block() const {
    // Parameters a camera of this kind plausibly reports beside its sensor.
    ZQ_ConfigBlock block{};
    const std::string model(FieldText(m_record.Model));
    const std::string serial(FieldText(m_record.SN));
    const std::string version = VersionText(m_record);
    const std::pair<std::string_view, std::string_view> others[ZQ_CONFIG_ENTRY_COUNT] = {
        {"DeviceName", model},     {"SerialNumber", serial},   {"FirmwareVersion", version},
        {"VideoStandard", "PAL"},  {"Resolution", "1280x720"}, {"FrameRate", "25"},
        {"BitRate", "2048"},       {"Encoding", "H.264"},      {"AudioEnabled", "0"},
        {"TimeZone", "UTC+00:00"},
    };
    for (int i = 0; i < ZQ_CONFIG_ENTRY_COUNT; ++i) {
        Put(block.Entry[i], others[i].first, others[i].second);
    }
    if (m_behaviour.sensor) {
        ZQ_ConfigEntry& entry = block.Entry[m_behaviour.sensorEntry];
        entry = ZQ_ConfigEntry{};
        Put(entry, "SensorModel", *m_behaviour.sensor);
    }
    return block;
}

ModifyOutcome Device::Modify(uint32_t requestId, const DiscoveredDevice& request,
                             bool allowAnyAddress, const Mover& move) {
    for (const auto& [id, outcome] : m_answered) {
        if (id == requestId) {
            ModifyOutcome again = outcome;
            again.repeated = true;
            again.moved = false;
            return again;
        }
    }
    ModifyOutcome outcome = Decide(request, allowAnyAddress, move);
    m_answered.emplace_back(requestId, outcome);
    if (m_answered.size() > kRememberedRequests)
        m_answered.pop_front();
    return outcome;
}

ModifyOutcome Device::Decide(const DiscoveredDevice& request, bool allowAnyAddress,
                             const Mover& move) {
    if (m_modifies++ < m_behaviour.modifyFails)
        return {wire::Status::Refused, "ModifyFails"};
    const auto ip = ParseIPv4(FieldText(request.Eth0.IP));
    if (!ip)
        return {wire::Status::Refused, "IP is not an IPv4 address"};
    if (!ParseIPv4(FieldText(request.Eth0.Mask))) {
        return {wire::Status::Refused, "Mask is not an IPv4 address"};
    }
    if (!ParseIPv4(FieldText(request.Eth0.GW))) {
        return {wire::Status::Refused, "GW is not an IPv4 address"};
    }
    if (!IsLoopback(*ip) && !allowAnyAddress) {
        return {wire::Status::Refused, "address outside 127.0.0.0/8"};
    }
    ModifyOutcome outcome{wire::Status::Ok, ""};
    if (*ip != Address()) {
        if (const auto problem = move(*ip))
            return {wire::Status::Refused, *problem};
        outcome.moved = true;
    }
    SetFieldText(m_record.Eth0.IP, FormatIPv4(*ip));
    SetFieldText(m_record.Eth0.Mask, FieldText(request.Eth0.Mask));
    SetFieldText(m_record.Eth0.GW, FieldText(request.Eth0.GW));
    return outcome;
}

}  // namespace quorlin::devsim
