#include "AddressRules.h"

#include <sys/stat.h>

#include <cstdio>

namespace quorlin::devsim {

std::optional<uint32_t> ParseIPv4(std::string_view text) {
    uint32_t address = 0;
    std::size_t pos = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        int digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    if (pos != text.size())
        return std::nullopt;
    return address;
}

std::string FormatIPv4(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFFu,
                  (address >> 8) & 0xFFu, address & 0xFFu);
    return text;
}

bool InOwnNetworkNamespace() {
    struct stat own {};
    struct stat init {};
    if (::stat("/proc/self/ns/net", &own) != 0)
        return false;
    if (::stat("/proc/1/ns/net", &init) != 0)
        return false;
    return own.st_ino != init.st_ino || own.st_dev != init.st_dev;
}

}  // namespace quorlin::devsim
