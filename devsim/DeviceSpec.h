// DeviceSpec.h: one simulated device as a fleet file describes it: the record it reports and
// the ways it is told to behave or misbehave.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ZQ_NetSDK.h"

namespace quorlin::devsim {

// The ways a device can spoil a reply. Every kind but None makes a message that a careful
// peer must drop (or, on TCP, treat as a failed exchange).
enum class Malformation {
    None,
    Short,      // one payload byte less, header length matching
    Long,       // one payload byte more, header length matching
    Truncated,  // header announces the full payload, half of it is sent
    Magic,      // wrong magic word
    Version,    // unknown protocol version
    Type,       // another message type (of the same size where one exists)
    Sequence,   // another pass id or request number
    Status,     // an unknown status word (replies that carry one)
    Garbage,    // noise of the same length
    Empty,      // UDP: an empty datagram; TCP: the connection closed without a reply
};

// Which of a device's replies a malformation applies to.
enum class ReplyKind { Probe, Modify, Login, Config, Logout };

std::string_view MalformationName(Malformation kind);
std::optional<Malformation> MalformationFromName(std::string_view name);
std::string_view ReplyKindName(ReplyKind kind);
std::optional<ReplyKind> ReplyKindFromName(std::string_view name);

struct Behaviour {
    std::optional<std::string> sensor;  // the "SensorModel" value served; none: no such entry
    int sensorEntry = 0;                // 0..9, the entry of the block that carries it
    int loginFailures = 0;              // refuse the first N logins
    int configFails = 0;                // fail the first N configuration reads
    int modifyFails = 0;                // refuse the first N modify requests
    int replyDelayMs = 0;               // delay before answering a probe
    int duplicates = 1;                 // answer each probe this many times
    int flood = 0;                      // when > 0: K distinct replies per probe instead of one
    Malformation malformed = Malformation::None;
    ReplyKind malformedReply = ReplyKind::Probe;
};

struct DeviceSpec {
    DiscoveredDevice record{};
    Behaviour behaviour;
};

// Bounds that keep every misbehaviour finite.
constexpr int kMaxDuplicates = 1000;
constexpr int kMaxFlood = 10000;
constexpr int kMaxReplyDelayMs = 60000;
constexpr int kMaxCount = 1000000;  // failure counters
constexpr int kMaxGenerate = 65536;

}  // namespace quorlin::devsim
