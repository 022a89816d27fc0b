// AddressRules.h: IPv4 address texts and the rule that keeps the simulator on loopback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlin::devsim {

// A dotted-decimal IPv4 address ("127.0.0.2"), four groups of 1-3 digits each at most 255;
// the value is in host order. Anything else is nullopt.
std::optional<uint32_t> ParseIPv4(std::string_view text);
std::string FormatIPv4(uint32_t address);

// 127.0.0.0/8.
constexpr bool IsLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

// True only when this process runs in a network namespace other than that of process 1,
// i.e. one a test made for itself. False when either cannot be read, with `why` saying so.
bool InOwnNetworkNamespace(std::string* why = nullptr);

}  // namespace quorlin::devsim
