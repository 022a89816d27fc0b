// UdpRoute.h: the route probes and modify requests take to the devices.
//
// Both go by UDP to every discovery target, from one socket on an ephemeral port that may send to
// a broadcast target, so that a modify reaches a device wherever a probe did.
#pragma once

#include <asio/ip/udp.hpp>

#include <cstdint>
#include <span>
#include <system_error>
#include <vector>

#include "Settings.h"

namespace quorlin::netsdk {

// Opens `socket` for IPv4 with broadcast allowed and binds it to an ephemeral port on every local
// address, so that replies to a broadcast come back to it. `receiveBuffer`, when nonzero, asks for
// that much room for replies (the kernel may give less; that is no error).
std::error_code OpenRouteSocket(asio::ip::udp::socket& socket, int receiveBuffer = 0);

// Sends `datagram` to every destination. An unreachable target does not stop the others.
void SendToAll(asio::ip::udp::socket& socket, std::span<const uint8_t> datagram,
               const std::vector<Destination>& destinations);

}  // namespace quorlin::netsdk
