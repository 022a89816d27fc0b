#include "Malform.h"

namespace quorlin::devsim {
namespace {

void SetU16(wire::Bytes& m, std::size_t at, uint16_t value) {
    m[at] = static_cast<uint8_t>(value);
    m[at + 1] = static_cast<uint8_t>(value >> 8);
}

void SetU32(wire::Bytes& m, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        m[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const wire::Bytes& m, std::size_t at) {
    return static_cast<uint32_t>(m[at]) | (static_cast<uint32_t>(m[at + 1]) << 8) |
           (static_cast<uint32_t>(m[at + 2]) << 16) | (static_cast<uint32_t>(m[at + 3]) << 24);
}

// A different type a peer could confuse it with: one whose payload has the same size where
// there is one, so that only the type word tells them apart.
uint16_t OtherType(uint16_t type) {
    using wire::MessageType;
    switch (static_cast<MessageType>(type)) {
        case MessageType::ProbeReply:
            return static_cast<uint16_t>(MessageType::ModifyRequest);
        case MessageType::ModifyReply:
            return static_cast<uint16_t>(MessageType::LogoutReply);
        case MessageType::LogoutReply:
            return static_cast<uint16_t>(MessageType::ModifyReply);
        default:
            return 0x0099;
    }
}

void Garble(wire::Bytes& m) {
    uint32_t state = 0x2545F491u;
    for (auto& byte : m) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
}

}  // namespace

wire::Bytes Malform(wire::Bytes message, Malformation kind) {
    if (message.size() < wire::kHeaderSize)
        return message;
    const uint32_t length = GetU32(message, 12);
    switch (kind) {
        case Malformation::None:
            break;
        case Malformation::Short:
            if (length > 0) {
                message.pop_back();
                SetU32(message, 12, length - 1);
            } else {
                SetU32(message, 12, 1);  // announces a byte it does not carry
            }
            break;
        case Malformation::Long:
            message.push_back(0);
            SetU32(message, 12, length + 1);
            break;
        case Malformation::Truncated:
            message.resize(wire::kHeaderSize + length / 2);
            if (length == 0)
                SetU32(message, 12, 8);
            break;
        case Malformation::Magic:
            message[0] ^= 0xFF;
            break;
        case Malformation::Version:
            SetU16(message, 4, wire::kVersion + 1);
            break;
        case Malformation::Type:
            SetU16(message, 6, OtherType(static_cast<uint16_t>(message[6] | (message[7] << 8))));
            break;
        case Malformation::Sequence:
            SetU32(message, 8, GetU32(message, 8) + 1000);
            break;
        case Malformation::Status:
            // Replies open with a status word; a record has none, so it is spoilt wholesale.
            if (message[6] == static_cast<uint8_t>(wire::MessageType::ProbeReply)) {
                Garble(message);
            } else if (length >= 4) {
                SetU32(message, wire::kHeaderSize, 99);
            }
            break;
        case Malformation::Garbage:
            Garble(message);
            break;
        case Malformation::Empty:
            message.clear();
            break;
    }
    return message;
}

}  // namespace quorlin::devsim
