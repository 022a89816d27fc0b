#include "FleetLoader.h"

#include <tinyxml.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "AddressRules.h"
#include "DeviceRecord.h"

namespace quorlin::devsim {
namespace {

// Collects the first error with the place it was found.
class Problems {
public:
    bool Any() const { return !m_text.empty(); }
    const std::string& Text() const { return m_text; }
    void Add(const std::string& where, const std::string& what) {
        if (m_text.empty())
            m_text = where + ": " + what;
    }

private:
    std::string m_text;
};

std::string Where(const TiXmlElement& element, const std::string& context) {
    return context + " (line " + std::to_string(element.Row()) + ")";
}

bool ParseNumber(std::string_view text, long long low, long long high, long long& value) {
    long long parsed = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || ec != std::errc() || ptr != end || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

// "%02x:%02x:%02x:%02x:%02x:%02x", either case.
bool ParseMac(std::string_view text, uint8_t (&mac)[6]) {
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':')
            return false;
        unsigned value = 0;
        const auto* begin = text.data() + i * 3;
        const auto [ptr, ec] = std::from_chars(begin, begin + 2, value, 16);
        if (ec != std::errc() || ptr != begin + 2)
            return false;
        mac[i] = static_cast<uint8_t>(value);
    }
    return true;
}

// A text that fits its field; a text of exactly the field's width fills it with no
// terminator, which lets a fleet exercise readers that must stay within a field.
template <std::size_t N>
bool PutText(char (&field)[N], std::string_view text) {
    if (text.size() > N)
        return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
    return true;
}

// The attributes of an element by name, each marked as used when taken, so that a misspelt
// attribute is reported rather than silently ignored.
class Attributes {
public:
    Attributes(const TiXmlElement& element, std::string where, Problems& problems)
        : m_where(std::move(where)), m_problems(problems) {
        for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
            m_values.emplace(a->Name(), a->Value());
        }
    }

    const std::string* Take(const std::string& name) {
        const auto it = m_values.find(name);
        if (it == m_values.end())
            return nullptr;
        m_used.insert(name);
        return &it->second;
    }

    template <std::size_t N>
    void Text(const std::string& name, char (&field)[N]) {
        if (const auto* value = Take(name); value && !PutText(field, *value)) {
            Fail(name, "longer than " + std::to_string(N) + " bytes");
        }
    }

    template <typename T>
    void Number(const std::string& name, long long low, long long high, T& field) {
        const auto* value = Take(name);
        if (!value)
            return;
        long long parsed = 0;
        if (!ParseNumber(*value, low, high, parsed)) {
            Fail(name, "'" + *value + "' is not a number from " + std::to_string(low) + " to " +
                           std::to_string(high));
            return;
        }
        field = static_cast<T>(parsed);
    }

    void Fail(const std::string& name, const std::string& what) {
        m_problems.Add(m_where, "attribute " + name + ": " + what);
    }

    // Reports the first attribute nobody took.
    void Finish() {
        for (const auto& [name, value] : m_values) {
            if (!m_used.count(name)) {
                m_problems.Add(m_where, "unknown attribute " + name);
                return;
            }
        }
    }

private:
    std::string m_where;
    Problems& m_problems;
    std::map<std::string, std::string> m_values;
    std::set<std::string> m_used;
};

// What a device element said explicitly, so that defaults fill only the rest.
struct Given {
    bool ip = false, mask = false, gw = false, dns1 = false, dns2 = false, mac = false;
    bool sn = false, model = false;
    bool user = false, password = false, port = false;
};

void ParseInterface(const TiXmlElement& element, const std::string& where, NetInterface& itf,
                    Given* given, Problems& problems) {
    Attributes attributes(element, where, problems);
    if (given) {
        given->ip = attributes.Take("IP") != nullptr;
        given->mask = attributes.Take("Mask") != nullptr;
        given->gw = attributes.Take("GW") != nullptr;
        given->dns1 = attributes.Take("DNS1") != nullptr;
        given->dns2 = attributes.Take("DNS2") != nullptr;
        given->mac = attributes.Take("MAC") != nullptr;
    }
    attributes.Text("IP", itf.IP);
    attributes.Text("Mask", itf.Mask);
    attributes.Text("GW", itf.GW);
    attributes.Text("DNS1", itf.DNS1);
    attributes.Text("DNS2", itf.DNS2);
    if (const auto* mac = attributes.Take("MAC");
        mac && !mac->empty() && !ParseMac(*mac, itf.MAC)) {
        attributes.Fail("MAC", "'" + *mac + "' is not six hexadecimal pairs joined by colons");
    }
    attributes.Finish();
}

// A behaviour setting given as an attribute or as a child element's text.
void ParseBehaviour(const TiXmlElement& element, const std::string& where, Behaviour& behaviour,
                    Problems& problems) {
    std::map<std::string, std::string> values;
    for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next()) {
        values[a->Name()] = a->Value();
    }
    for (const TiXmlElement* child = element.FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        values[child->Value()] = child->GetText() ? child->GetText() : "";
    }
    auto number = [&](const char* name, int low, int high, int& field) {
        const auto it = values.find(name);
        if (it == values.end())
            return;
        long long parsed = 0;
        if (!ParseNumber(it->second, low, high, parsed)) {
            problems.Add(where, std::string(name) + ": '" + it->second + "' is not a number from " +
                                    std::to_string(low) + " to " + std::to_string(high));
        }
        field = static_cast<int>(parsed);
        values.erase(it);
    };
    if (const auto it = values.find("Sensor"); it != values.end()) {
        if (it->second.size() > sizeof(ZQ_ConfigEntry::Value)) {
            problems.Add(where, "Sensor: longer than 256 bytes");
        }
        behaviour.sensor = it->second;
        values.erase(it);
    }
    number("SensorEntry", 0, ZQ_CONFIG_ENTRY_COUNT - 1, behaviour.sensorEntry);
    number("LoginFailures", 0, kMaxCount, behaviour.loginFailures);
    number("ConfigFails", 0, kMaxCount, behaviour.configFails);
    number("ModifyFails", 0, kMaxCount, behaviour.modifyFails);
    number("ReplyDelayMs", 0, kMaxReplyDelayMs, behaviour.replyDelayMs);
    number("Duplicates", 1, kMaxDuplicates, behaviour.duplicates);
    number("Flood", 0, kMaxFlood, behaviour.flood);
    // A name out of one of the simulator's tables; `what` is what an unknown name fails to be.
    auto named = [&](const char* name, const char* what, auto fromName, auto fallback,
                     auto& field) {
        const auto it = values.find(name);
        if (it == values.end())
            return;
        const auto value = fromName(it->second);
        if (!value)
            problems.Add(where, std::string(name) + ": unknown " + what + " '" + it->second + "'");
        field = value.value_or(fallback);
        values.erase(it);
    };
    named("Malformed", "kind", MalformationFromName, Malformation::None, behaviour.malformed);
    named("MalformedReply", "reply", ReplyKindFromName, ReplyKind::Probe, behaviour.malformedReply);
    if (!values.empty())
        problems.Add(where, "unknown behaviour " + values.begin()->first);
}

// Fills `spec` from the children of a `Device` or `Node` (or the template of a `Generate`).
void ParseDeviceChildren(const TiXmlElement& element, const std::string& context, DeviceSpec& spec,
                         Given& given, bool allowNode, Problems& problems) {
    DiscoveredDevice& r = spec.record;
    for (const TiXmlElement* child = element.FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        const std::string name = child->Value();
        const std::string where = Where(*child, context + " " + name);
        if (name == "Node" && allowNode) {
            ParseDeviceChildren(*child, context + " Node", spec, given, false, problems);
            continue;
        }
        if (name == "Eth0") {
            ParseInterface(*child, where, r.Eth0, &given, problems);
            continue;
        }
        if (name == "Wifi" || name == "G3") {
            ParseInterface(*child, where, name == "Wifi" ? r.Wifi : r.G3, nullptr, problems);
            continue;
        }
        if (name == "Behaviour") {
            ParseBehaviour(*child, where, spec.behaviour, problems);
            continue;
        }
        Attributes attributes(*child, where, problems);
        if (name == "Port") {
            given.port = true;
            attributes.Number("Private", 0, 65535, r.Port.Private);
            attributes.Number("Http", 0, 65535, r.Port.Http);
            attributes.Number("Rtsp", 0, 65535, r.Port.Rtsp);
        } else if (name == "SN") {
            given.sn = true;
            attributes.Text("A", r.SN);
        } else if (name == "User") {
            given.user = attributes.Take("U") != nullptr;
            given.password = attributes.Take("P") != nullptr;
            attributes.Text("U", r.User.U);
            attributes.Text("P", r.User.P);
        } else if (name == "Model") {
            given.model = true;
            attributes.Text("A", r.Model);
        } else if (name == "Version") {
            uint32_t major = 0, minor = 0;
            attributes.Number("Major", 0, 65535, major);
            attributes.Number("Minor", 0, 65535, minor);
            r.Version = (major << 16) | minor;
        } else if (name == "BuildDate") {
            uint32_t year = 0, month = 0, day = 0;
            attributes.Number("Year", 0, 65535, year);
            attributes.Number("Month", 0, 255, month);
            attributes.Number("Day", 0, 255, day);
            r.BuildDate = (year << 16) | (month << 8) | day;
        } else {
            problems.Add(where, "unknown element " + name);
            continue;
        }
        attributes.Finish();
    }
}

// Values derived from the address, unique per address: a locally administered MAC and a
// serial number ending in the last three groups.
void DeriveMac(uint32_t address, uint8_t (&mac)[6]) {
    const uint8_t derived[6] = {0x02,
                                0x51,
                                static_cast<uint8_t>(address >> 24),
                                static_cast<uint8_t>(address >> 16),
                                static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address)};
    std::memcpy(mac, derived, sizeof derived);
}

std::string DerivedSerial(const std::string& prefix, uint32_t address) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03u%03u%03u", (address >> 16) & 0xFFu,
                  (address >> 8) & 0xFFu, address & 0xFFu);
    return prefix + digits;
}

void ApplyDefaults(DeviceSpec& spec, const Given& given, uint32_t address) {
    DiscoveredDevice& r = spec.record;
    if (!given.mask)
        SetFieldText(r.Eth0.Mask, "255.0.0.0");
    if (!given.gw)
        SetFieldText(r.Eth0.GW, "127.0.0.1");
    // The tool sends a modify only when all five wired addresses are valid.
    if (!given.dns1)
        SetFieldText(r.Eth0.DNS1, "127.0.0.1");
    if (!given.dns2)
        SetFieldText(r.Eth0.DNS2, "127.0.0.1");
    if (!given.mac)
        DeriveMac(address, r.Eth0.MAC);
    if (!given.sn)
        PutText(r.SN, DerivedSerial("SIM", address));
    if (!given.model)
        SetFieldText(r.Model, "IPC-SIM");
    if (!given.user)
        SetFieldText(r.User.U, "admin");
    if (!given.password)
        SetFieldText(r.User.P, "admin");
    if (!given.port) {
        r.Port.Private = 8000;
        r.Port.Http = 80;
        r.Port.Rtsp = 554;
    }
}

void ParseDevice(const TiXmlElement& element, int index, bool allowNode,
                 std::vector<DeviceSpec>& devices, Problems& problems) {
    const std::string context = "Device " + std::to_string(index);
    DeviceSpec spec;
    Given given;
    ParseDeviceChildren(element, context, spec, given, allowNode, problems);
    if (element.FirstAttribute()) {
        problems.Add(Where(element, context),
                     "unknown attribute " + std::string(element.FirstAttribute()->Name()));
    }
    const auto address = ParseIPv4(FieldText(spec.record.Eth0.IP));
    if (!address) {
        problems.Add(Where(element, context), "Eth0 needs an IP attribute holding an IPv4 address");
        return;
    }
    ApplyDefaults(spec, given, *address);
    devices.push_back(spec);
}

void ParseGenerate(const TiXmlElement& element, int index, std::vector<DeviceSpec>& devices,
                   Problems& problems) {
    const std::string where = Where(element, "Generate " + std::to_string(index));
    Attributes attributes(element, where, problems);
    const std::string* type = attributes.Take("Type");
    const std::string* first = attributes.Take("FirstIP");
    const std::string* prefix = attributes.Take("SNPrefix");
    int count = 0;
    if (!attributes.Take("Count"))
        attributes.Fail("Count", "missing");
    attributes.Number("Count", 1, kMaxGenerate, count);
    attributes.Finish();
    if (!type || type->empty() || type->size() > 28) {
        problems.Add(where, "Type must be a model text of 1 to 28 characters");
        return;
    }
    const auto firstAddress = first ? ParseIPv4(*first) : std::nullopt;
    if (!firstAddress) {
        problems.Add(where, "FirstIP must be an IPv4 address");
        return;
    }
    if (problems.Any())
        return;

    DeviceSpec pattern;
    Given given;
    ParseDeviceChildren(element, "Generate " + std::to_string(index), pattern, given, false,
                        problems);
    if (given.ip) {
        problems.Add(where, "the addresses come from FirstIP; Eth0 may not give an IP");
        return;
    }
    const std::string serialPrefix = prefix ? *prefix : *type;
    const std::string model = *type + "-SIM";
    uint64_t address = *firstAddress;
    for (int i = 0; i < count; ++i, ++address) {
        // Skip the network and broadcast-looking addresses of each /24.
        while ((address & 0xFFu) == 0 || (address & 0xFFu) == 255)
            ++address;
        if (address > 0xFFFFFFFFu) {
            problems.Add(where, "the addresses run past 255.255.255.255");
            return;
        }
        DeviceSpec spec = pattern;
        const auto ip = static_cast<uint32_t>(address);
        SetFieldText(spec.record.Eth0.IP, FormatIPv4(ip));
        Given derived = given;
        derived.mac = false;
        derived.sn = true;
        if (!PutText(spec.record.SN, DerivedSerial(serialPrefix, ip))) {
            problems.Add(where, "SNPrefix is too long");
            return;
        }
        if (!given.model) {
            SetFieldText(spec.record.Model, model);
            derived.model = true;
        }
        ApplyDefaults(spec, derived, ip);
        devices.push_back(spec);
    }
}

// Every device on an address the simulator may use, no two on one address and port, no two
// that a modify request could not tell apart.
void Check(const std::vector<DeviceSpec>& devices, const FleetOptions& options,
           Problems& problems) {
    std::map<std::pair<uint32_t, uint16_t>, std::size_t> endpoints;
    std::map<std::string, std::size_t> identities;
    for (std::size_t i = 0; i < devices.size() && !problems.Any(); ++i) {
        const DiscoveredDevice& r = devices[i].record;
        const std::string name =
            "device " + std::to_string(i + 1) + " (" + std::string(FieldText(r.Eth0.IP)) + ")";
        const uint32_t address = *ParseIPv4(FieldText(r.Eth0.IP));
        if (!IsLoopback(address) && !options.allowAnyAddress) {
            problems.Add(name, "address outside 127.0.0.0/8");
        } else if (r.Port.Private == 0) {
            problems.Add(name, "Port Private must not be 0");
        } else if (const auto [it, fresh] =
                       endpoints.emplace(std::pair(address, r.Port.Private), i);
                   !fresh) {
            problems.Add(name, "shares address and port " + std::to_string(r.Port.Private) +
                                   " with device " + std::to_string(it->second + 1));
        } else if (const auto [same, unique] = identities.emplace(
                       std::string(FieldText(r.SN)) + "/" + MacText(r.Eth0.MAC), i);
                   !unique) {
            problems.Add(name, "has the serial number and MAC of device " +
                                   std::to_string(same->second + 1));
        }
    }
}

FleetResult LoadDocument(TiXmlDocument& document, const FleetOptions& options) {
    FleetResult result;
    const TiXmlElement* root = document.RootElement();
    const std::string rootName = root ? root->Value() : "";
    if (rootName != "Fleet" && rootName != "TREE") {
        result.error = "the root element must be Fleet";
        return result;
    }
    Problems problems;
    int deviceIndex = 0;
    int generateIndex = 0;
    for (const TiXmlElement* child = root->FirstChildElement(); child && !problems.Any();
         child = child->NextSiblingElement()) {
        const std::string name = child->Value();
        if (name == "Device") {
            ParseDevice(*child, ++deviceIndex, true, result.devices, problems);
        } else if (name == "Node") {
            ParseDevice(*child, ++deviceIndex, false, result.devices, problems);
        } else if (name == "Generate") {
            ParseGenerate(*child, ++generateIndex, result.devices, problems);
        } else {
            problems.Add(Where(*child, name),
                         "unknown element (Device, Node or Generate expected)");
        }
    }
    if (!problems.Any() && result.devices.empty())
        problems.Add("fleet", "no devices");
    if (!problems.Any())
        Check(result.devices, options, problems);
    if (problems.Any()) {
        result.devices.clear();
        result.error = problems.Text();
    }
    return result;
}

}  // namespace

FleetResult LoadFleetText(std::string_view xml, const FleetOptions& options) {
    TiXmlDocument document;
    const std::string text(xml);
    document.Parse(text.c_str());
    if (document.Error()) {
        FleetResult result;
        result.error = std::string("not well-formed XML: ") + document.ErrorDesc() + " (line " +
                       std::to_string(document.ErrorRow()) + ")";
        return result;
    }
    return LoadDocument(document, options);
}

FleetResult LoadFleetFile(const std::string& path, const FleetOptions& options) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        FleetResult result;
        result.error = path + ": " + std::strerror(errno);
        return result;
    }
    std::string text;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    std::fclose(file);
    FleetResult result = LoadFleetText(text, options);
    if (!result.Ok())
        result.error = path + ": " + result.error;
    return result;
}

}  // namespace quorlin::devsim
