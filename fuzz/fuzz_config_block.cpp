// Configuration replies and the block they carry: the block is copied into a buffer of exactly
// its size and its entries are read within their widths.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "Replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorlin;
    volatile int sink = 0;

    // As a whole reply message.
    const wire::ByteSpan message(data, size);
    wire::Header header{};
    if (wire::DecodeHeader(message, header) == wire::FrameStatus::Complete) {
        if (const auto reply = netsdk::ParseConfigReply(message, header.sequence)) {
            // A heap buffer of exactly the block's size, so that any overrun is caught.
            auto buffer = std::make_unique<uint8_t[]>(sizeof(ZQ_ConfigBlock));
            if (netsdk::CopyConfigBlock(*reply, buffer.get(), sizeof(ZQ_ConfigBlock))) {
                ZQ_ConfigBlock block;
                std::memcpy(&block, buffer.get(), sizeof block);
                sink = sink + fuzz::FindSensorModel(block);
            }
        }
    }

    // As the raw block a reader is handed.
    if (size >= sizeof(ZQ_ConfigBlock)) {
        ZQ_ConfigBlock block;
        std::memcpy(&block, data, sizeof block);
        sink = sink + fuzz::FindSensorModel(block);
    }
    return 0;
}
