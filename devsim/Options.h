// Options.h: the command line of quorlin-devsim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DeviceSpec.h"

namespace quorlin::devsim {

struct Options {
    std::string fleetPath;
    bool demo = false;
    uint16_t port = 0;
    bool portGiven = false;
    std::string logPath;
    std::string udpAddress = "127.0.0.1";
    bool allowAnyAddress = false;
    // Misbehaviour for every device of the fleet, over what the fleet file says.
    std::optional<Malformation> malformed;
    std::optional<ReplyKind> malformedReply;
    std::optional<int> flood;
    bool help = false;
};

// Parses argv[1..]; on a mistake returns false with `error` saying what.
bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

const char* Usage();

// Applies the command line's misbehaviour switches to every device.
void ApplyOverrides(const Options& options, std::vector<DeviceSpec>& fleet);

}  // namespace quorlin::devsim
