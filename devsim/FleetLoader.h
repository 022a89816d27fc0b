// FleetLoader.h: reads a fleet file into device descriptions and checks them.
//
// The root is `Fleet` (a recorded `TREE` is taken as well). Its children are `Device`
// elements, whose own children are those of a discovery document's `Node` (a `Node` pasted
// inside a `Device`, or standing in the root, plays that device), and `Generate` elements,
// which make many similar devices at once. docs/devsim.md describes every element.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "DeviceSpec.h"

namespace quorlin::devsim {

struct FleetOptions {
    // Devices may sit outside 127.0.0.0/8 (only inside a test's own network namespace).
    bool allowAnyAddress = false;
};

struct FleetResult {
    std::vector<DeviceSpec> devices;
    std::string error;  // empty on success; otherwise what is wrong and where
    bool Ok() const { return error.empty(); }
};

FleetResult LoadFleetFile(const std::string& path, const FleetOptions& options);
FleetResult LoadFleetText(std::string_view xml, const FleetOptions& options);

}  // namespace quorlin::devsim
