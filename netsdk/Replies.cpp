#include "Replies.h"

#include <cstring>

namespace quorlin::netsdk {

using wire::ByteSpan;

std::optional<DiscoveredDevice> ParseProbeReply(ByteSpan message, uint32_t passId) {
    uint32_t sequence = 0;
    auto device = wire::DecodeProbeReply(message, sequence);
    if (!device || sequence != passId)
        return std::nullopt;
    return device;
}

std::optional<wire::Status> ParseModifyReply(ByteSpan message, uint32_t requestId) {
    uint32_t sequence = 0;
    const auto status = wire::DecodeModifyReply(message, sequence);
    if (!status || sequence != requestId)
        return std::nullopt;
    return status;
}

std::optional<wire::LoginReply> ParseLoginReply(ByteSpan message, uint32_t requestId) {
    uint32_t sequence = 0;
    auto reply = wire::DecodeLoginReply(message, sequence);
    if (!reply || sequence != requestId)
        return std::nullopt;
    return reply;
}

std::optional<wire::ConfigReply> ParseConfigReply(ByteSpan message, uint32_t requestId) {
    uint32_t sequence = 0;
    auto reply = wire::DecodeConfigReply(message, sequence);
    if (!reply || sequence != requestId)
        return std::nullopt;
    return reply;
}

std::optional<wire::Status> ParseLogoutReply(ByteSpan message, uint32_t requestId) {
    uint32_t sequence = 0;
    const auto status = wire::DecodeLogoutReply(message, sequence);
    if (!status || sequence != requestId)
        return std::nullopt;
    return status;
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
