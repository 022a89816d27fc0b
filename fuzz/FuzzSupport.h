// FuzzSupport.h: what every fuzz target does with a record or block it was given: read each
// text field within its width, as every reader of these bytes must.
#pragma once

#include <cstring>
#include <initializer_list>

#include "ZQ_NetSDK.h"

namespace quorlin::fuzz {

// A checksum over the texts, so that the reads cannot be optimised away.
inline std::size_t ReadTexts(const DiscoveredDevice& device) {
    std::size_t sum = 0;
    for (const NetInterface* net : {&device.Eth0, &device.Wifi, &device.G3}) {
        sum += strnlen(net->IP, sizeof net->IP) + strnlen(net->Mask, sizeof net->Mask) +
               strnlen(net->GW, sizeof net->GW) + strnlen(net->DNS1, sizeof net->DNS1) +
               strnlen(net->DNS2, sizeof net->DNS2);
    }
    sum += strnlen(device.SN, sizeof device.SN) + strnlen(device.User.U, sizeof device.User.U) +
           strnlen(device.User.P, sizeof device.User.P) +
           strnlen(device.Model, sizeof device.Model);
    return sum;
}

// The first entry named exactly "SensorModel", or -1.
inline int FindSensorModel(const ZQ_ConfigBlock& block) {
    for (int i = 0; i < ZQ_CONFIG_ENTRY_COUNT; ++i) {
        const ZQ_ConfigEntry& entry = block.Entry[i];
        const std::size_t length = strnlen(entry.Name, sizeof entry.Name);
        if (length == 11 && std::memcmp(entry.Name, "SensorModel", 11) == 0)
            return i;
        (void)strnlen(entry.Value, sizeof entry.Value);
    }
    return -1;
}

}  // namespace quorlin::fuzz
