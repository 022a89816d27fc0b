#include "Options.h"

#include <charconv>

#include "Wire.h"

namespace quorlin::devsim {
namespace {

bool Number(const std::string& text, long low, long high, long& value) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && value >= low &&
           value <= high;
}

}  // namespace

const char* Usage() {
    return "usage: quorlin-devsim (--fleet FILE | --demo) [--port N] [--log FILE]\n"
           "                      [--udp-address ADDR] [--allow-any-address]\n"
           "                      [--malformed KIND[:REPLY]] [--flood K]\n"
           "  --fleet FILE          play the devices of a fleet file\n"
           "  --demo                play the built-in demo fleet\n"
           "  --port N              discovery port (default 41894; 0 picks a free one)\n"
           "  --log FILE            one JSON line per request received\n"
           "  --udp-address ADDR    address of the discovery socket (default 127.0.0.1)\n"
           "  --allow-any-address   allow addresses outside 127.0.0.0/8 (only inside a\n"
           "                        network namespace of the simulator's own)\n"
           "  --malformed KIND[:REPLY]  every device spoils that reply (default Probe); KIND:\n"
           "                        short long truncated magic version type sequence status\n"
           "                        garbage empty; REPLY: Probe Modify Login Config Logout\n"
           "  --flood K             every device answers each probe with K distinct replies\n";
}

bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error) {
    options.port = wire::kDiscoveryPort;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return false;
            }
            out = arguments[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--demo") {
            options.demo = true;
        } else if (argument == "--allow-any-address") {
            options.allowAnyAddress = true;
        } else if (argument == "--fleet") {
            if (!value(options.fleetPath))
                return false;
        } else if (argument == "--log") {
            if (!value(options.logPath))
                return false;
        } else if (argument == "--udp-address") {
            if (!value(options.udpAddress))
                return false;
        } else if (argument == "--port") {
            if (!value(text))
                return false;
            if (!Number(text, 0, 65535, number)) {
                error = "--port: '" + text + "' is not a port number";
                return false;
            }
            options.port = static_cast<uint16_t>(number);
            options.portGiven = true;
        } else if (argument == "--flood") {
            if (!value(text))
                return false;
            if (!Number(text, 0, kMaxFlood, number)) {
                error = "--flood: '" + text + "' is not a number from 0 to " +
                        std::to_string(kMaxFlood);
                return false;
            }
            options.flood = static_cast<int>(number);
        } else if (argument == "--malformed") {
            if (!value(text))
                return false;
            const auto colon = text.find(':');
            const auto kind = MalformationFromName(text.substr(0, colon));
            if (!kind) {
                error = "--malformed: unknown kind '" + text.substr(0, colon) + "'";
                return false;
            }
            options.malformed = *kind;
            if (colon != std::string::npos) {
                const auto reply = ReplyKindFromName(text.substr(colon + 1));
                if (!reply) {
                    error = "--malformed: unknown reply '" + text.substr(colon + 1) + "'";
                    return false;
                }
                options.malformedReply = *reply;
            }
        } else {
            error = "unknown argument '" + argument + "'";
            return false;
        }
    }
    if (options.help)
        return true;
    if (options.demo == !options.fleetPath.empty()) {
        error = "give either --fleet FILE or --demo";
        return false;
    }
    return true;
}

void ApplyOverrides(const Options& options, std::vector<DeviceSpec>& fleet) {
    for (auto& device : fleet) {
        if (options.malformed) {
            device.behaviour.malformed = *options.malformed;
            device.behaviour.malformedReply = options.malformedReply.value_or(ReplyKind::Probe);
        }
        if (options.flood)
            device.behaviour.flood = *options.flood;
    }
}

}  // namespace quorlin::devsim
