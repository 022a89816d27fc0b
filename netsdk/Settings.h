// Settings.h: the SDK's own settings, read from ZQ_NETSDK_* environment variables when the SDK
// is initialised, and the expansion of probe targets into datagram destinations.
//
// Everything here except SystemInterfaces() is pure so that the parsing and the broadcast
// computation can be checked without touching the network.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin::netsdk {

using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds kDefaultQuiet{300};
constexpr Milliseconds kDefaultPassLimit{3000};
constexpr Milliseconds kDefaultTimeout{2000};
// Largest duration accepted from the environment (ten minutes).
constexpr Milliseconds kMaxSettingDuration{600000};

// One entry of ZQ_NETSDK_TARGETS: an IPv4 address, or every up interface's broadcast address.
struct Target {
    bool broadcast = false;
    uint32_t address = 0;  // host byte order; unused for a broadcast target
    uint16_t port = 0;

    friend bool operator==(const Target&, const Target&) = default;
};

struct Settings {
    std::vector<Target> targets;
    Milliseconds quiet = kDefaultQuiet;
    Milliseconds passLimit = kDefaultPassLimit;
    Milliseconds timeout = kDefaultTimeout;
};

// The default probe target list: 127.0.0.1 at the discovery port.
std::vector<Target> DefaultTargets();

// Looks up one environment variable; nullptr when it is not set.
using EnvLookup = std::function<const char*(const char* name)>;

// Reads the four settings through `lookup`. A missing or bad value gives that setting's default;
// bad entries of the target list are skipped, and a list with no good entry gives the default.
Settings ReadSettings(const EnvLookup& lookup);
Settings ReadSettingsFromEnvironment();

// Dotted decimal IPv4 text: four groups of one to three digits, each at most 255 (leading zeros
// are decimal). Returns the address in host byte order.
std::optional<uint32_t> ParseIPv4(std::string_view text);

// "a.b.c.d:port", "a.b.c.d" (discovery port), "broadcast" or "broadcast:port".
std::optional<Target> ParseTarget(std::string_view text);

// A positive whole number of milliseconds, at most kMaxSettingDuration.
std::optional<Milliseconds> ParseDuration(std::string_view text);

// One IPv4 address of a network interface, as getifaddrs() reports it.
struct InterfaceAddress {
    std::string name;
    uint32_t address = 0;  // host byte order
    uint32_t netmask = 0;  // host byte order
    bool up = false;
    bool broadcast = false;  // the interface supports broadcast
    bool loopback = false;
};

// The directed broadcast address (address | ~netmask) of every up, broadcast-capable,
// non-loopback interface address whose netmask is contiguous and leaves room for hosts (prefix of
// at most 30 bits), without repeats, in interface order.
std::vector<uint32_t> BroadcastAddresses(std::span<const InterfaceAddress> interfaces);

// The machine's IPv4 interface addresses.
std::vector<InterfaceAddress> SystemInterfaces();

struct Destination {
    uint32_t address = 0;  // host byte order
    uint16_t port = 0;

    friend bool operator==(const Destination&, const Destination&) = default;
};

// The datagram destinations of `targets`: plain targets as they are, broadcast targets as the
// broadcast address of each interface, without repeats.
std::vector<Destination> ResolveTargets(std::span<const Target> targets,
                                        std::span<const InterfaceAddress> interfaces);

std::string AddressText(uint32_t address);

}  // namespace quorlin::netsdk
