// Modify.h: sends a changed record to the device it names, by the same datagram route as the
// discovery probe, and waits for the device's acknowledgement.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "IoRuntime.h"
#include "Settings.h"
#include "ZQ_NetSDK.h"

namespace quorlin::netsdk {

// Interval at which an unanswered modify request is sent again.
constexpr Milliseconds kModifyResendInterval{200};

// Sends ModifyRequest(requestId, device) to every destination, again every
// kModifyResendInterval, until a reply to `requestId` arrives or `timeout` has passed. Returns
// 1 when the device answered Ok, 0 when it refused, nothing answered in time, or the runtime
// shut down. Blocks the calling thread, which must not be the runtime's own.
int ModifyDevice(IoRuntime& runtime, std::vector<Destination> destinations,
                 const DiscoveredDevice& device, uint32_t requestId, Milliseconds timeout);

}  // namespace quorlin::netsdk
