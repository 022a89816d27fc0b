// Replies.h: the SDK's checks on what a device sends back. Pure functions over the bytes of one
// whole message: a reply is taken only when it decodes and answers the request it is matched to.
#pragma once

#include <cstdint>
#include <optional>

#include "Wire.h"

namespace quorlin::netsdk {

// A probe reply of pass `passId`.
std::optional<DiscoveredDevice> ParseProbeReply(wire::ByteSpan message, uint32_t passId);

// The status of a modify reply to request `requestId`.
std::optional<wire::Status> ParseModifyReply(wire::ByteSpan message, uint32_t requestId);

std::optional<wire::LoginReply> ParseLoginReply(wire::ByteSpan message, uint32_t requestId);
std::optional<wire::ConfigReply> ParseConfigReply(wire::ByteSpan message, uint32_t requestId);
std::optional<wire::Status> ParseLogoutReply(wire::ByteSpan message, uint32_t requestId);

// The payload length announced by a 16-byte header read from a stream, or nullopt when the
// header is bad (the connection cannot be trusted any further).
std::optional<std::size_t> PayloadLength(wire::ByteSpan header);

// Copies a configuration reply into the caller's buffer: true only for an Ok reply and a buffer
// of at least the block's size; nothing is written otherwise.
bool CopyConfigBlock(const wire::ConfigReply& reply, void* buffer, uint32_t size);

// Copies a C text argument into a fixed-width wire field, reading at most `width` bytes of it
// and zero-filling the rest. A text of the full width travels without a terminator.
template <std::size_t N>
void CopyTextField(std::array<char, N>& field, const char* text) {
    field.fill(0);
    if (!text)
        return;
    for (std::size_t i = 0; i < N && text[i] != '\0'; ++i)
        field[i] = text[i];
}

}  // namespace quorlin::netsdk
