#include "AddressRules.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

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

bool InOwnNetworkNamespace(std::string* why) {
    struct stat own {};
    struct stat init {};
    const std::pair<const char*, struct stat*> paths[] = {{"/proc/self/ns/net", &own},
                                                          {"/proc/1/ns/net", &init}};
    for (const auto& [path, info] : paths) {
        if (::stat(path, info) != 0) {
            if (why)
                *why = std::string("cannot read ") + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (own.st_ino == init.st_ino && own.st_dev == init.st_dev) {
        if (why)
            *why = "this process shares the machine's network namespace";
        return false;
    }
    return true;
}

}  // namespace quorlin::devsim
