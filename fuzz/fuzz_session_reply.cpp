// Bytes as a login session reads them from a device's control port: a header, then the payload
// it announces, then the reply decoder of the request that was sent.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "Replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorlin;
    if (size < 1)
        return 0;
    const uint8_t request = data[0] % 3;  // which request the reply answers
    const wire::ByteSpan stream(data + 1, size - 1);
    if (stream.size() < wire::kHeaderSize)
        return 0;
    const auto length = netsdk::PayloadLength(stream.first(wire::kHeaderSize));
    if (!length || stream.size() < wire::kHeaderSize + *length)
        return 0;
    const wire::ByteSpan message = stream.first(wire::kHeaderSize + *length);
    wire::Header header{};
    wire::DecodeHeader(message, header);

    volatile std::size_t sink = 0;
    switch (request) {
        case 0:
            if (const auto reply = netsdk::ParseLoginReply(message, header.sequence)) {
                uint8_t info[ZQ_LOGIN_INFO_SIZE];
                std::memcpy(info, reply->info.data(), sizeof info);
                sink = sink + info[0];
            }
            break;
        case 1:
            if (const auto reply = netsdk::ParseConfigReply(message, header.sequence)) {
                std::vector<uint8_t> buffer(sizeof(ZQ_ConfigBlock));
                if (netsdk::CopyConfigBlock(*reply, buffer.data(),
                                            static_cast<uint32_t>(buffer.size()))) {
                    sink = sink + buffer[0];
                }
            }
            break;
        default:
            if (const auto status = netsdk::ParseLogoutReply(message, header.sequence)) {
                sink = sink + static_cast<uint32_t>(*status);
            }
            break;
    }
    return 0;
}
