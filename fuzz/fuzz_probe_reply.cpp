// Datagrams as the discovery pass receives them: any bytes, from any source.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "FuzzSupport.h"
#include "Replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorlin;
    const wire::ByteSpan message(data, size);
    // The pass identifier the SDK is waiting for: the datagram's own one, and another.
    wire::Header header{};
    const uint32_t passId =
        wire::DecodeHeader(message, header) == wire::FrameStatus::Complete ? header.sequence : 0;
    volatile std::size_t sink = 0;
    for (const uint32_t expected : {passId, passId + 1}) {
        if (const auto device = netsdk::ParseProbeReply(message, expected)) {
            sink = sink + fuzz::ReadTexts(*device);
        }
    }
    if (const auto status = netsdk::ParseModifyReply(message, passId))
        sink = sink + static_cast<uint32_t>(*status);
    return 0;
}
