#include "UdpRoute.h"

namespace quorlin::netsdk {

using asio::ip::udp;

std::error_code OpenRouteSocket(udp::socket& socket, int receiveBuffer) {
    std::error_code error;
    socket.open(udp::v4(), error);
    if (!error)
        socket.set_option(asio::socket_base::broadcast(true), error);
    if (!error && receiveBuffer > 0) {
        std::error_code ignored;
        socket.set_option(asio::socket_base::receive_buffer_size(receiveBuffer), ignored);
    }
    if (!error)
        socket.bind(udp::endpoint(udp::v4(), 0), error);
    if (!error)
        socket.non_blocking(true, error);
    return error;
}

void SendToAll(udp::socket& socket, std::span<const uint8_t> datagram,
               const std::vector<Destination>& destinations) {
    for (const Destination& destination : destinations) {
        std::error_code ignored;
        socket.send_to(asio::buffer(datagram.data(), datagram.size()),
                       udp::endpoint(asio::ip::address_v4(destination.address), destination.port),
                       0, ignored);
    }
}

}  // namespace quorlin::netsdk
