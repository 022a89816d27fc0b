// Malform.h: spoils a well-formed message in one of the ways a faulty device might.
#pragma once

#include "DeviceSpec.h"
#include "Wire.h"

namespace quorlin::devsim {

// The message changed by `kind`; `message` must be one whole, well-formed message.
// Malformation::Empty gives no bytes at all.
wire::Bytes Malform(wire::Bytes message, Malformation kind);

}  // namespace quorlin::devsim
