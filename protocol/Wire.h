// Wire.h: the wire format spoken between the SDK and the devices, as pure functions over
// byte spans. No sockets here: the SDK and the simulator both encode and decode through this
// file, and docs/protocol.md describes the same layouts for anyone writing another peer.
//
// Every message is a 16-byte header followed by its payload:
//   offset 0  u32 magic   "QRLN" (0x4E4C5251 little-endian)
//   offset 4  u16 version 1
//   offset 6  u16 type    MessageType
//   offset 8  u32 sequence  pass identifier of a probe, request number of everything else
//   offset 12 u32 length    payload bytes that follow, at most kMaxPayload
// All integers are little-endian. A decoder takes a message only when its payload has exactly
// the size of its type; anything else is rejected, never partly trusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ZQ_NetSDK.h"

namespace quorlin::wire {

constexpr uint32_t kMagic = 0x4E4C5251;  // "QRLN"
constexpr uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kMaxPayload = 4096;
constexpr std::size_t kMaxMessage = kHeaderSize + kMaxPayload;

// UDP port on which devices listen for probes and modify requests.
constexpr uint16_t kDiscoveryPort = 41894;

enum class MessageType : uint16_t {
    Probe = 0x0001,          // SDK -> devices, UDP, no payload
    ProbeReply = 0x0002,     // device -> SDK, UDP, the 468-byte record
    ModifyRequest = 0x0003,  // SDK -> devices, UDP, the 468-byte record with the new values
    ModifyReply = 0x0004,    // device -> SDK, UDP, Status
    LoginRequest = 0x0010,   // SDK -> device, TCP, user[32] password[16]
    LoginReply = 0x0011,     // device -> SDK, TCP, Status + 80-byte login info
    ConfigRequest = 0x0012,  // SDK -> device, TCP, u32 command + i32 channel
    ConfigReply = 0x0013,    // device -> SDK, TCP, Status + the 3040-byte block when Ok
    LogoutRequest = 0x0014,  // SDK -> device, TCP, no payload
    LogoutReply = 0x0015,    // device -> SDK, TCP, Status
};

// The first word of every reply's payload.
enum class Status : uint32_t {
    Ok = 0,
    BadCredentials = 1,
    NotLoggedIn = 2,
    UnknownCommand = 3,
    Refused = 4,
    Busy = 5,
};

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

struct Header {
    MessageType type;
    uint32_t sequence;
    uint32_t length;
};

// What a stream reader learns from the bytes it has so far.
enum class FrameStatus { Complete, Incomplete, Bad };

// Reads a header: Bad when the magic, version or length is wrong, Incomplete when fewer than
// kHeaderSize bytes are there. The type is not checked here; the message decoders check it.
FrameStatus DecodeHeader(ByteSpan bytes, Header& header);

// The payload of a complete message whose header is Complete, or nullopt.
std::optional<ByteSpan> PayloadOf(ByteSpan message, const Header& header);

struct Credentials {
    std::array<char, 32> user{};      // zero-terminated within its width
    std::array<char, 16> password{};  // zero-terminated within its width
};

struct LoginReply {
    Status status;
    std::array<uint8_t, ZQ_LOGIN_INFO_SIZE> info{};
};

struct ConfigRequest {
    uint32_t command;
    int32_t channel;
};

struct ConfigReply {
    Status status;
    ZQ_ConfigBlock block{};  // all zero unless status is Ok
};

Bytes EncodeProbe(uint32_t passId);
Bytes EncodeProbeReply(uint32_t passId, const DiscoveredDevice& device);
Bytes EncodeModifyRequest(uint32_t requestId, const DiscoveredDevice& device);
Bytes EncodeModifyReply(uint32_t requestId, Status status);
Bytes EncodeLoginRequest(uint32_t requestId, const Credentials& credentials);
Bytes EncodeLoginReply(uint32_t requestId, const LoginReply& reply);
Bytes EncodeConfigRequest(uint32_t requestId, const ConfigRequest& request);
Bytes EncodeConfigReply(uint32_t requestId, const ConfigReply& reply);
Bytes EncodeLogoutRequest(uint32_t requestId);
Bytes EncodeLogoutReply(uint32_t requestId, Status status);

// Each decoder takes one whole message (header and payload) and gives its content only when
// the header is good, the type is the decoder's and the payload has exactly the right size.
// The sequence number is returned through `sequence`.
std::optional<uint32_t> DecodeProbe(ByteSpan message);
std::optional<DiscoveredDevice> DecodeProbeReply(ByteSpan message, uint32_t& sequence);
std::optional<DiscoveredDevice> DecodeModifyRequest(ByteSpan message, uint32_t& sequence);
std::optional<Status> DecodeModifyReply(ByteSpan message, uint32_t& sequence);
std::optional<Credentials> DecodeLoginRequest(ByteSpan message, uint32_t& sequence);
std::optional<LoginReply> DecodeLoginReply(ByteSpan message, uint32_t& sequence);
std::optional<ConfigRequest> DecodeConfigRequest(ByteSpan message, uint32_t& sequence);
std::optional<ConfigReply> DecodeConfigReply(ByteSpan message, uint32_t& sequence);
std::optional<uint32_t> DecodeLogoutRequest(ByteSpan message);
std::optional<Status> DecodeLogoutReply(ByteSpan message, uint32_t& sequence);

// The type of a message with a good header, for dispatching; nullopt otherwise.
std::optional<MessageType> TypeOf(ByteSpan message);

}  // namespace quorlin::wire
