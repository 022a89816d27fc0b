#include "Replies.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quorlin::netsdk;
using namespace quorlin;

namespace {

TEST(Replies, TakeOnlyTheAnswerToTheirOwnRequest) {
    DiscoveredDevice device{};
    std::strcpy(device.SN, "0262000001");
    const auto reply = wire::EncodeProbeReply(41, device);
    EXPECT_TRUE(ParseProbeReply(reply, 41));
    EXPECT_FALSE(ParseProbeReply(reply, 42));
    EXPECT_FALSE(ParseProbeReply(wire::EncodeModifyRequest(41, device), 41));

    EXPECT_EQ(ParseModifyReply(wire::EncodeModifyReply(7, wire::Status::Refused), 7),
              wire::Status::Refused);
    EXPECT_FALSE(ParseModifyReply(wire::EncodeModifyReply(6, wire::Status::Ok), 7));
    EXPECT_FALSE(ParseLoginReply(wire::EncodeLoginReply(1, {wire::Status::Ok, {}}), 2));
    EXPECT_FALSE(ParseLogoutReply(wire::EncodeLogoutReply(1, wire::Status::Ok), 2));
    EXPECT_FALSE(ParseConfigReply(wire::EncodeConfigReply(3, {wire::Status::Ok, {}}), 4));
    EXPECT_TRUE(ParseConfigReply(wire::EncodeConfigReply(4, {wire::Status::Ok, {}}), 4));
}

TEST(Replies, ConfigBlockIsCopiedWholeOrNotAtAll) {
    wire::ConfigReply ok{wire::Status::Ok, {}};
    std::strcpy(ok.block.Entry[9].Name, "SensorModel");
    std::memset(ok.block.Entry[9].Value, 'V', sizeof ok.block.Entry[9].Value);  // unterminated

    std::vector<uint8_t> buffer(sizeof(ZQ_ConfigBlock) + 8, 0xCC);
    EXPECT_FALSE(CopyConfigBlock(ok, buffer.data(), sizeof(ZQ_ConfigBlock) - 1));
    EXPECT_EQ(buffer[0], 0xCC);
    EXPECT_FALSE(CopyConfigBlock(ok, nullptr, sizeof(ZQ_ConfigBlock)));
    EXPECT_FALSE(CopyConfigBlock({wire::Status::UnknownCommand, {}}, buffer.data(), 4000));
    EXPECT_EQ(buffer[0], 0xCC);

    ASSERT_TRUE(CopyConfigBlock(ok, buffer.data(), static_cast<uint32_t>(buffer.size())));
    EXPECT_EQ(std::memcmp(buffer.data(), &ok.block, sizeof ok.block), 0);
    EXPECT_EQ(buffer[sizeof(ZQ_ConfigBlock)], 0xCC);  // nothing past the block
}

TEST(Replies, StreamHeaderAnnouncesPayloadOnlyWhenGood) {
    const auto logout = wire::EncodeLogoutReply(5, wire::Status::Ok);
    EXPECT_EQ(PayloadLength(wire::ByteSpan(logout).first(wire::kHeaderSize)), 4u);
    EXPECT_FALSE(PayloadLength(wire::ByteSpan(logout).first(wire::kHeaderSize - 1)));

    auto badMagic = logout;
    badMagic[0] ^= 1;
    EXPECT_FALSE(PayloadLength(wire::ByteSpan(badMagic).first(wire::kHeaderSize)));
    auto badVersion = logout;
    badVersion[4] = 2;
    EXPECT_FALSE(PayloadLength(wire::ByteSpan(badVersion).first(wire::kHeaderSize)));
    auto oversized = logout;
    const uint32_t huge = wire::kMaxPayload + 1;
    std::memcpy(oversized.data() + 12, &huge, 4);
    EXPECT_FALSE(PayloadLength(wire::ByteSpan(oversized).first(wire::kHeaderSize)));
}

TEST(Replies, TextArgumentsAreReadWithinTheFieldWidth) {
    std::array<char, 16> field{};
    char longText[40];
    std::memset(longText, 'p', sizeof longText);  // no terminator within 40 bytes either
    CopyTextField(field, longText);
    EXPECT_EQ(std::string(field.data(), field.size()), std::string(16, 'p'));

    CopyTextField(field, "12345");
    EXPECT_EQ(std::string(field.data()), "12345");
    EXPECT_EQ(field[15], '\0');

    CopyTextField(field, nullptr);
    EXPECT_EQ(field, (std::array<char, 16>{}));
}

}  // namespace
