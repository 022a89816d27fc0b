#include "Settings.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdlib>

#include "Wire.h"

namespace quorlin::netsdk {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A whole decimal number of at most `maxDigits` digits, nothing else.
std::optional<uint64_t> ParseDecimal(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

bool IsContiguous(uint32_t netmask) {
    const uint32_t hostBits = ~netmask;
    return (hostBits & (hostBits + 1)) == 0;
}

int PrefixLength(uint32_t netmask) {
    int bits = 0;
    for (uint32_t m = netmask; m & 0x80000000u; m <<= 1)
        ++bits;
    return bits;
}

}  // namespace

std::vector<Target> DefaultTargets() {
    return {Target{false, 0x7F000001u, wire::kDiscoveryPort}};
}

std::optional<uint32_t> ParseIPv4(std::string_view text) {
    uint32_t address = 0;
    int groups = 0;
    while (true) {
        const auto dot = text.find('.');
        const auto group = ParseDecimal(text.substr(0, dot), 3);
        if (!group || *group > 255)
            return std::nullopt;
        address = (address << 8) | static_cast<uint32_t>(*group);
        ++groups;
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    if (groups != 4)
        return std::nullopt;
    return address;
}

std::optional<Target> ParseTarget(std::string_view text) {
    text = Trim(text);
    std::string_view host = text;
    uint16_t port = wire::kDiscoveryPort;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        const auto value = ParseDecimal(text.substr(colon + 1), 5);
        if (!value || *value == 0 || *value > 65535)
            return std::nullopt;
        port = static_cast<uint16_t>(*value);
    }
    if (host == "broadcast")
        return Target{true, 0, port};
    const auto address = ParseIPv4(host);
    if (!address)
        return std::nullopt;
    return Target{false, *address, port};
}

std::optional<Milliseconds> ParseDuration(std::string_view text) {
    const auto value = ParseDecimal(Trim(text), 9);
    if (!value || *value == 0 || *value > static_cast<uint64_t>(kMaxSettingDuration.count())) {
        return std::nullopt;
    }
    return Milliseconds(static_cast<Milliseconds::rep>(*value));
}

Settings ReadSettings(const EnvLookup& lookup) {
    Settings settings;
    if (const char* value = lookup("ZQ_NETSDK_TARGETS")) {
        std::string_view rest = value;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            if (const auto target = ParseTarget(rest.substr(0, comma))) {
                if (std::find(settings.targets.begin(), settings.targets.end(), *target) ==
                    settings.targets.end()) {
                    settings.targets.push_back(*target);
                }
            }
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    if (settings.targets.empty())
        settings.targets = DefaultTargets();

    const auto duration = [&](const char* name, Milliseconds fallback) {
        const char* value = lookup(name);
        if (!value)
            return fallback;
        return ParseDuration(value).value_or(fallback);
    };
    settings.quiet = duration("ZQ_NETSDK_QUIET_MS", kDefaultQuiet);
    settings.passLimit = duration("ZQ_NETSDK_PASS_MS", kDefaultPassLimit);
    settings.timeout = duration("ZQ_NETSDK_TIMEOUT_MS", kDefaultTimeout);
    return settings;
}

Settings ReadSettingsFromEnvironment() {
    return ReadSettings([](const char* name) -> const char* { return std::getenv(name); });
}

std::vector<uint32_t> BroadcastAddresses(std::span<const InterfaceAddress> interfaces) {
    std::vector<uint32_t> result;
    for (const InterfaceAddress& entry : interfaces) {
        if (!entry.up || !entry.broadcast || entry.loopback)
            continue;
        if (!IsContiguous(entry.netmask) || PrefixLength(entry.netmask) > 30)
            continue;
        const uint32_t broadcast = entry.address | ~entry.netmask;
        if (std::find(result.begin(), result.end(), broadcast) == result.end()) {
            result.push_back(broadcast);
        }
    }
    return result;
}

std::vector<InterfaceAddress> SystemInterfaces() {
    std::vector<InterfaceAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask) {
            continue;
        }
        InterfaceAddress item;
        item.name = entry->ifa_name ? entry->ifa_name : "";
        item.address =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        item.netmask =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.broadcast = (entry->ifa_flags & IFF_BROADCAST) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        result.push_back(std::move(item));
    }
    freeifaddrs(list);
    return result;
}

std::vector<Destination> ResolveTargets(std::span<const Target> targets,
                                        std::span<const InterfaceAddress> interfaces) {
    std::vector<Destination> result;
    const auto add = [&](Destination destination) {
        if (std::find(result.begin(), result.end(), destination) == result.end()) {
            result.push_back(destination);
        }
    };
    for (const Target& target : targets) {
        if (!target.broadcast) {
            add({target.address, target.port});
            continue;
        }
        for (const uint32_t address : BroadcastAddresses(interfaces))
            add({address, target.port});
    }
    return result;
}

std::string AddressText(uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

}  // namespace quorlin::netsdk
