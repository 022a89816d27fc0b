#include "DeviceSpec.h"

#include <array>
#include <utility>

namespace quorlin::devsim {
namespace {

constexpr std::array<std::pair<Malformation, std::string_view>, 11> kMalformations{{
    {Malformation::None, "none"},
    {Malformation::Short, "short"},
    {Malformation::Long, "long"},
    {Malformation::Truncated, "truncated"},
    {Malformation::Magic, "magic"},
    {Malformation::Version, "version"},
    {Malformation::Type, "type"},
    {Malformation::Sequence, "sequence"},
    {Malformation::Status, "status"},
    {Malformation::Garbage, "garbage"},
    {Malformation::Empty, "empty"},
}};

constexpr std::array<std::pair<ReplyKind, std::string_view>, 5> kReplyKinds{{
    {ReplyKind::Probe, "Probe"},
    {ReplyKind::Modify, "Modify"},
    {ReplyKind::Login, "Login"},
    {ReplyKind::Config, "Config"},
    {ReplyKind::Logout, "Logout"},
}};

}  // namespace

std::string_view MalformationName(Malformation kind) {
    for (const auto& [value, name] : kMalformations) {
        if (value == kind)
            return name;
    }
    return "none";
}

std::optional<Malformation> MalformationFromName(std::string_view name) {
    for (const auto& [value, text] : kMalformations) {
        if (text == name)
            return value;
    }
    return std::nullopt;
}

std::string_view ReplyKindName(ReplyKind kind) {
    for (const auto& [value, name] : kReplyKinds) {
        if (value == kind)
            return name;
    }
    return "Probe";
}

std::optional<ReplyKind> ReplyKindFromName(std::string_view name) {
    for (const auto& [value, text] : kReplyKinds) {
        if (text == name)
            return value;
    }
    return std::nullopt;
}

}  // namespace quorlin::devsim
