#include "Wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace quorlin::wire;

namespace {

DiscoveredDevice SampleDevice() {
    DiscoveredDevice device{};
    std::strcpy(device.Eth0.IP, "127.0.0.7");
    std::strcpy(device.SN, "0262000001");
    std::strcpy(device.Model, "IPC-1");
    device.Port.Private = 65535;
    device.Version = 0x00030002;
    for (uint8_t& b : device.reserved2)
        b = 0xEE;  // reserved bytes travel unchanged
    return device;
}

TEST(Wire, RecordsRoundTripByteForByte) {
    const DiscoveredDevice device = SampleDevice();
    uint32_t sequence = 0;
    const auto reply = DecodeProbeReply(EncodeProbeReply(77, device), sequence);
    ASSERT_TRUE(reply);
    EXPECT_EQ(sequence, 77u);
    EXPECT_EQ(std::memcmp(&*reply, &device, sizeof device), 0);

    const auto modify = DecodeModifyRequest(EncodeModifyRequest(9, device), sequence);
    ASSERT_TRUE(modify);
    EXPECT_EQ(sequence, 9u);
    EXPECT_EQ(std::memcmp(&*modify, &device, sizeof device), 0);
}

TEST(Wire, RequestsAndRepliesRoundTrip) {
    uint32_t sequence = 0;
    EXPECT_EQ(DecodeProbe(EncodeProbe(5)), 5u);
    EXPECT_EQ(DecodeLogoutRequest(EncodeLogoutRequest(6)), 6u);
    EXPECT_EQ(DecodeModifyReply(EncodeModifyReply(1, Status::Refused), sequence), Status::Refused);
    EXPECT_EQ(DecodeLogoutReply(EncodeLogoutReply(2, Status::Ok), sequence), Status::Ok);

    Credentials credentials;
    std::strcpy(credentials.user.data(), "admin");
    std::strcpy(credentials.password.data(), "secret");
    const auto login = DecodeLoginRequest(EncodeLoginRequest(3, credentials), sequence);
    ASSERT_TRUE(login);
    EXPECT_STREQ(login->user.data(), "admin");
    EXPECT_STREQ(login->password.data(), "secret");

    const auto config = DecodeConfigRequest(EncodeConfigRequest(4, {533, 0}), sequence);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->command, 533u);
    EXPECT_EQ(config->channel, 0);

    ConfigReply block{Status::Ok, {}};
    std::strcpy(block.block.Entry[9].Name, "SensorModel");
    std::strcpy(block.block.Entry[9].Value, "IMX138");
    const auto got = DecodeConfigReply(EncodeConfigReply(8, block), sequence);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->status, Status::Ok);
    EXPECT_STREQ(got->block.Entry[9].Value, "IMX138");

    const auto refused =
        DecodeConfigReply(EncodeConfigReply(8, {Status::NotLoggedIn, {}}), sequence);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, Status::NotLoggedIn);
}

struct Corruption {
    const char* name;
    std::function<void(Bytes&)> apply;
};

const Corruption kCorruptions[] = {
    {"wrong_magic", [](Bytes& m) { m[0] ^= 0xFF; }},
    {"wrong_version", [](Bytes& m) { m[4] = 2; }},
    {"wrong_type", [](Bytes& m) { m[6] = 0x03; }},
    {"length_says_more", [](Bytes& m) { m[12] += 1; }},
    {"length_over_limit",
     [](Bytes& m) {
         m[13] = 0xFF;
         m[14] = 0xFF;
     }},
    {"short_by_one", [](Bytes& m) { m.pop_back(); }},
    {"one_byte_too_many", [](Bytes& m) { m.push_back(0); }},
    {"header_only", [](Bytes& m) { m.resize(kHeaderSize); }},
    {"empty", [](Bytes& m) { m.clear(); }},
};

class RejectedReply : public ::testing::TestWithParam<Corruption> {};

TEST_P(RejectedReply, IsDroppedWhole) {
    Bytes message = EncodeProbeReply(1, SampleDevice());
    GetParam().apply(message);
    uint32_t sequence = 0;
    EXPECT_FALSE(DecodeProbeReply(message, sequence));
}

INSTANTIATE_TEST_SUITE_P(Corruptions, RejectedReply, ::testing::ValuesIn(kCorruptions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Wire, UnknownStatusIsRejected) {
    Bytes message = EncodeModifyReply(1, Status::Ok);
    message[kHeaderSize] = 0x7F;
    uint32_t sequence = 0;
    EXPECT_FALSE(DecodeModifyReply(message, sequence));
}

TEST(Wire, StreamHeaderNeedsMoreOrIsBad) {
    const Bytes message = EncodeLogoutRequest(1);
    Header header{};
    EXPECT_EQ(DecodeHeader(ByteSpan(message).first(7), header), FrameStatus::Incomplete);
    EXPECT_EQ(DecodeHeader(message, header), FrameStatus::Complete);
    const uint8_t junk[] = {'G', 'E', 'T'};
    EXPECT_EQ(DecodeHeader(junk, header), FrameStatus::Bad);
}

}  // namespace
