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

// The name of `value` in `table`, or `fallback` for a value the table does not hold.
template <typename Enum, std::size_t N>
std::string_view NameIn(const std::array<std::pair<Enum, std::string_view>, N>& table, Enum value,
                        std::string_view fallback) {
    for (const auto& [entry, name] : table) {
        if (entry == value)
            return name;
    }
    return fallback;
}

// The value named `name` in `table`, compared exactly.
template <typename Enum, std::size_t N>
std::optional<Enum> ValueIn(const std::array<std::pair<Enum, std::string_view>, N>& table,
                            std::string_view name) {
    for (const auto& [value, text] : table) {
        if (text == name)
            return value;
    }
    return std::nullopt;
}

}  // namespace

std::string_view MalformationName(Malformation kind) {
    return NameIn(kMalformations, kind, "none");
}

std::optional<Malformation> MalformationFromName(std::string_view name) {
    return ValueIn(kMalformations, name);
}

std::string_view ReplyKindName(ReplyKind kind) {
    return NameIn(kReplyKinds, kind, "Probe");
}

std::optional<ReplyKind> ReplyKindFromName(std::string_view name) {
    return ValueIn(kReplyKinds, name);
}

}  // namespace quorlin::devsim
