#include "Wire.h"

#include <cstring>

namespace quorlin::wire {
namespace {

void PutU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutBytes(Bytes& out, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

Bytes Begin(MessageType type, uint32_t sequence, std::size_t payloadSize) {
    Bytes out;
    out.reserve(kHeaderSize + payloadSize);
    PutU32(out, kMagic);
    PutU16(out, kVersion);
    PutU16(out, static_cast<uint16_t>(type));
    PutU32(out, sequence);
    PutU32(out, static_cast<uint32_t>(payloadSize));
    return out;
}

// The payload of `message` when it is one whole message of `type` with exactly `size` bytes.
std::optional<ByteSpan> Expect(ByteSpan message, MessageType type, std::size_t size,
                               uint32_t& sequence) {
    Header header{};
    if (DecodeHeader(message, header) != FrameStatus::Complete)
        return std::nullopt;
    if (header.type != type || header.length != size)
        return std::nullopt;
    if (message.size() != kHeaderSize + size)
        return std::nullopt;
    sequence = header.sequence;
    return message.subspan(kHeaderSize);
}

bool IsKnownStatus(uint32_t value) {
    return value <= static_cast<uint32_t>(Status::Busy);
}

// A status word followed by `rest` bytes; nullopt for an unknown status.
std::optional<Status> StatusOf(ByteSpan payload) {
    const uint32_t value = GetU32(payload.data());
    if (!IsKnownStatus(value))
        return std::nullopt;
    return static_cast<Status>(value);
}

Bytes StatusMessage(MessageType type, uint32_t sequence, Status status) {
    Bytes out = Begin(type, sequence, 4);
    PutU32(out, static_cast<uint32_t>(status));
    return out;
}

Bytes RecordMessage(MessageType type, uint32_t sequence, const DiscoveredDevice& device) {
    Bytes out = Begin(type, sequence, sizeof device);
    PutBytes(out, &device, sizeof device);
    return out;
}

std::optional<DiscoveredDevice> RecordOf(ByteSpan message, MessageType type, uint32_t& sequence) {
    const auto payload = Expect(message, type, sizeof(DiscoveredDevice), sequence);
    if (!payload)
        return std::nullopt;
    DiscoveredDevice device;
    std::memcpy(&device, payload->data(), sizeof device);
    return device;
}

}  // namespace

FrameStatus DecodeHeader(ByteSpan bytes, Header& header) {
    if (bytes.size() < kHeaderSize) {
        // A prefix that already contradicts the magic is bad without waiting for more.
        for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
            if (bytes[i] != static_cast<uint8_t>(kMagic >> (8 * i)))
                return FrameStatus::Bad;
        }
        return FrameStatus::Incomplete;
    }
    const uint8_t* p = bytes.data();
    if (GetU32(p) != kMagic || GetU16(p + 4) != kVersion)
        return FrameStatus::Bad;
    const uint32_t length = GetU32(p + 12);
    if (length > kMaxPayload)
        return FrameStatus::Bad;
    header.type = static_cast<MessageType>(GetU16(p + 6));
    header.sequence = GetU32(p + 8);
    header.length = length;
    return FrameStatus::Complete;
}

std::optional<ByteSpan> PayloadOf(ByteSpan message, const Header& header) {
    if (message.size() < kHeaderSize + header.length)
        return std::nullopt;
    return message.subspan(kHeaderSize, header.length);
}

std::optional<MessageType> TypeOf(ByteSpan message) {
    Header header{};
    if (DecodeHeader(message, header) != FrameStatus::Complete)
        return std::nullopt;
    return header.type;
}

Bytes EncodeProbe(uint32_t passId) {
    return Begin(MessageType::Probe, passId, 0);
}

Bytes EncodeProbeReply(uint32_t passId, const DiscoveredDevice& device) {
    return RecordMessage(MessageType::ProbeReply, passId, device);
}

Bytes EncodeModifyRequest(uint32_t requestId, const DiscoveredDevice& device) {
    return RecordMessage(MessageType::ModifyRequest, requestId, device);
}

Bytes EncodeModifyReply(uint32_t requestId, Status status) {
    return StatusMessage(MessageType::ModifyReply, requestId, status);
}

Bytes EncodeLoginRequest(uint32_t requestId, const Credentials& credentials) {
    Bytes out = Begin(MessageType::LoginRequest, requestId,
                      credentials.user.size() + credentials.password.size());
    PutBytes(out, credentials.user.data(), credentials.user.size());
    PutBytes(out, credentials.password.data(), credentials.password.size());
    return out;
}

Bytes EncodeLoginReply(uint32_t requestId, const LoginReply& reply) {
    Bytes out = Begin(MessageType::LoginReply, requestId, 4 + reply.info.size());
    PutU32(out, static_cast<uint32_t>(reply.status));
    PutBytes(out, reply.info.data(), reply.info.size());
    return out;
}

Bytes EncodeConfigRequest(uint32_t requestId, const ConfigRequest& request) {
    Bytes out = Begin(MessageType::ConfigRequest, requestId, 8);
    PutU32(out, request.command);
    PutU32(out, static_cast<uint32_t>(request.channel));
    return out;
}

Bytes EncodeConfigReply(uint32_t requestId, const ConfigReply& reply) {
    // The block travels only with a successful answer; a failure is the status word alone.
    if (reply.status != Status::Ok)
        return StatusMessage(MessageType::ConfigReply, requestId, reply.status);
    Bytes out = Begin(MessageType::ConfigReply, requestId, 4 + sizeof reply.block);
    PutU32(out, static_cast<uint32_t>(reply.status));
    PutBytes(out, &reply.block, sizeof reply.block);
    return out;
}

Bytes EncodeLogoutRequest(uint32_t requestId) {
    return Begin(MessageType::LogoutRequest, requestId, 0);
}

Bytes EncodeLogoutReply(uint32_t requestId, Status status) {
    return StatusMessage(MessageType::LogoutReply, requestId, status);
}

std::optional<uint32_t> DecodeProbe(ByteSpan message) {
    uint32_t sequence = 0;
    if (!Expect(message, MessageType::Probe, 0, sequence))
        return std::nullopt;
    return sequence;
}

std::optional<DiscoveredDevice> DecodeProbeReply(ByteSpan message, uint32_t& sequence) {
    return RecordOf(message, MessageType::ProbeReply, sequence);
}

std::optional<DiscoveredDevice> DecodeModifyRequest(ByteSpan message, uint32_t& sequence) {
    return RecordOf(message, MessageType::ModifyRequest, sequence);
}

std::optional<Status> DecodeModifyReply(ByteSpan message, uint32_t& sequence) {
    const auto payload = Expect(message, MessageType::ModifyReply, 4, sequence);
    if (!payload)
        return std::nullopt;
    return StatusOf(*payload);
}

std::optional<Credentials> DecodeLoginRequest(ByteSpan message, uint32_t& sequence) {
    Credentials credentials;
    const auto payload = Expect(message, MessageType::LoginRequest,
                                credentials.user.size() + credentials.password.size(), sequence);
    if (!payload)
        return std::nullopt;
    std::memcpy(credentials.user.data(), payload->data(), credentials.user.size());
    std::memcpy(credentials.password.data(), payload->data() + credentials.user.size(),
                credentials.password.size());
    return credentials;
}

std::optional<LoginReply> DecodeLoginReply(ByteSpan message, uint32_t& sequence) {
    LoginReply reply{};
    const auto payload = Expect(message, MessageType::LoginReply, 4 + reply.info.size(), sequence);
    if (!payload)
        return std::nullopt;
    const auto status = StatusOf(*payload);
    if (!status)
        return std::nullopt;
    reply.status = *status;
    std::memcpy(reply.info.data(), payload->data() + 4, reply.info.size());
    return reply;
}

std::optional<ConfigRequest> DecodeConfigRequest(ByteSpan message, uint32_t& sequence) {
    const auto payload = Expect(message, MessageType::ConfigRequest, 8, sequence);
    if (!payload)
        return std::nullopt;
    return ConfigRequest{GetU32(payload->data()),
                         static_cast<int32_t>(GetU32(payload->data() + 4))};
}

std::optional<ConfigReply> DecodeConfigReply(ByteSpan message, uint32_t& sequence) {
    ConfigReply reply{};
    // A success carries the block; a failure is the status word alone.
    if (const auto payload =
            Expect(message, MessageType::ConfigReply, 4 + sizeof reply.block, sequence)) {
        if (StatusOf(*payload) != Status::Ok)
            return std::nullopt;
        reply.status = Status::Ok;
        std::memcpy(&reply.block, payload->data() + 4, sizeof reply.block);
        return reply;
    }
    const auto payload = Expect(message, MessageType::ConfigReply, 4, sequence);
    if (!payload)
        return std::nullopt;
    const auto status = StatusOf(*payload);
    if (!status || *status == Status::Ok)
        return std::nullopt;
    reply.status = *status;
    return reply;
}

std::optional<uint32_t> DecodeLogoutRequest(ByteSpan message) {
    uint32_t sequence = 0;
    if (!Expect(message, MessageType::LogoutRequest, 0, sequence))
        return std::nullopt;
    return sequence;
}

std::optional<Status> DecodeLogoutReply(ByteSpan message, uint32_t& sequence) {
    const auto payload = Expect(message, MessageType::LogoutReply, 4, sequence);
    if (!payload)
        return std::nullopt;
    return StatusOf(*payload);
}

}  // namespace quorlin::wire
