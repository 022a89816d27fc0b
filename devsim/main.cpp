// quorlin-devsim: plays a fleet of devices on loopback for the tool, its tests and scripts.
#include <asio.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "AddressRules.h"
#include "DemoFleet.h"
#include "FleetLoader.h"
#include "JsonLog.h"
#include "Options.h"
#include "Simulator.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "quorlin-devsim: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorlin::devsim;
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "quorlin-devsim: %s\n%s", error.c_str(), Usage());
        return 2;
    }
    if (options.help) {
        std::fputs(Usage(), stdout);
        return 0;
    }
    if (std::string why; options.allowAnyAddress && !InOwnNetworkNamespace(&why)) {
        return Fail("--allow-any-address is only honoured inside a network namespace of its own (" +
                    why + ")");
    }
    const auto udpAddress = ParseIPv4(options.udpAddress);
    if (!udpAddress)
        return Fail("--udp-address: '" + options.udpAddress + "' is not an IPv4 address");
    if (!IsLoopback(*udpAddress) && !options.allowAnyAddress) {
        return Fail("--udp-address must lie in 127.0.0.0/8");
    }

    const FleetOptions fleetOptions{options.allowAnyAddress};
    FleetResult fleet = options.demo ? LoadFleetText(kDemoFleet, fleetOptions)
                                     : LoadFleetFile(options.fleetPath, fleetOptions);
    if (!fleet.Ok())
        return Fail(fleet.error);
    ApplyOverrides(options, fleet.devices);

    JsonLog log;
    if (!options.logPath.empty() && !log.Open(options.logPath, error))
        return Fail(error);

    asio::io_context io(1);
    Simulator simulator(io, fleet.devices,
                        SimulatorSettings{*udpAddress, options.port, options.allowAnyAddress}, log);
    if (const auto problem = simulator.Start(); !problem.empty())
        return Fail(problem);

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& failure, int) {
        if (failure)
            return;
        simulator.Stop();
        io.stop();
    });

    std::printf("quorlin-devsim ready port=%u devices=%zu\n",
                static_cast<unsigned>(simulator.Port()), simulator.DeviceCount());
    std::fflush(stdout);
    io.run();
    return 0;
}
