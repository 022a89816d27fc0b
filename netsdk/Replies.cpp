#include "Replies.h"

#include <cstring>

namespace quorlin::netsdk {

using wire::ByteSpan;

namespace {

// What `decode` makes of `message`, taken only when its sequence number is `expected`.
template <typename T>
std::optional<T> Answering(ByteSpan message, uint32_t expected,
                           std::optional<T> (*decode)(ByteSpan, uint32_t&)) {
    uint32_t sequence = 0;
    auto decoded = decode(message, sequence);
    if (!decoded || sequence != expected)
        return std::nullopt;
    return decoded;
}

}  // namespace

std::optional<DiscoveredDevice> ParseProbeReply(ByteSpan message, uint32_t passId) {
    return Answering(message, passId, wire::DecodeProbeReply);
}

std::optional<wire::Status> ParseModifyReply(ByteSpan message, uint32_t requestId) {
    return Answering(message, requestId, wire::DecodeModifyReply);
}

std::optional<wire::LoginReply> ParseLoginReply(ByteSpan message, uint32_t requestId) {
    return Answering(message, requestId, wire::DecodeLoginReply);
}

std::optional<wire::ConfigReply> ParseConfigReply(ByteSpan message, uint32_t requestId) {
    return Answering(message, requestId, wire::DecodeConfigReply);
}

std::optional<wire::Status> ParseLogoutReply(ByteSpan message, uint32_t requestId) {
    return Answering(message, requestId, wire::DecodeLogoutReply);
}

std::optional<std::size_t> PayloadLength(ByteSpan header) {
    wire::Header decoded{};
    if (header.size() != wire::kHeaderSize)
        return std::nullopt;
    if (wire::DecodeHeader(header, decoded) != wire::FrameStatus::Complete)
        return std::nullopt;
    return decoded.length;
}

bool CopyConfigBlock(const wire::ConfigReply& reply, void* buffer, uint32_t size) {
    if (reply.status != wire::Status::Ok || !buffer || size < sizeof reply.block)
        return false;
    std::memcpy(buffer, &reply.block, sizeof reply.block);
    return true;
}

}  // namespace quorlin::netsdk
