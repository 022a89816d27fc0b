#include "DeviceRecord.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct RecordCase {
    const char* name;
    const char* model;  // copied over the whole field, without a terminator when 32 bytes long
    const char* serial;
    uint8_t mac[6];
    uint32_t version;
    uint32_t buildDate;
    DeviceType type;
    const char* prefix;
    const char* macText;
    const char* versionText;
};

DiscoveredDevice MakeRecord(const RecordCase& c) {
    DiscoveredDevice device{};
    std::memcpy(device.Model, c.model, std::min(std::strlen(c.model), sizeof device.Model));
    std::memcpy(device.SN, c.serial, std::min(std::strlen(c.serial), sizeof device.SN));
    std::memcpy(device.Eth0.MAC, c.mac, 6);
    device.Version = c.version;
    device.BuildDate = c.buildDate;
    return device;
}

const RecordCase kCases[] = {
    {"zero_version",
     "NVR-8",
     "5001",
     {0, 0, 0, 0, 0, 0},
     0,
     0,
     DeviceType::NVR,
     "5001",
     "00:00:00:00:00:00",
     "V0.0 build 0000-00-00"},
    {"octet_171_lower_case",
     "DVR",
     "ABCDEF",
     {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 171},
     (3u << 16) | 2,
     (2015u << 16) | (1u << 8) | 20,
     DeviceType::DVR,
     "ABCD",
     "00:1a:2b:3c:4d:ab",
     "V3.2 build 2015-01-20"},
    {"serial_0262_goes_on",
     "IPC-HD",
     "0262ABCDEFG",
     {255, 255, 255, 255, 255, 255},
     (2u << 16) | 10,
     (2014u << 16) | (7u << 8) | 5,
     DeviceType::IPC,
     "0262",
     "ff:ff:ff:ff:ff:ff",
     "V2.10 build 2014-07-05"},
    {"largest_words",
     "DEC",
     "12",
     {1, 2, 3, 4, 5, 6},
     0xFFFFFFFFu,
     0xFFFFFFFFu,
     DeviceType::DEC,
     "12",
     "01:02:03:04:05:06",
     "V65535.65535 build 65535-255-255"},
    {"empty_serial",
     "ipc",
     "",
     {0},
     0,
     0,
     DeviceType::Unknown,
     "",
     "00:00:00:00:00:00",
     "V0.0 build 0000-00-00"},
    {"short_model",
     "IP",
     "9",
     {0},
     0,
     0,
     DeviceType::Unknown,
     "9",
     "00:00:00:00:00:00",
     "V0.0 build 0000-00-00"},
    {"unterminated_fields",
     "NVRXXXXXXXXXXXXXXXXXXXXXXXXXXXXX",
     "0262XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX",
     {0},
     0,
     0,
     DeviceType::NVR,
     "0262",
     "00:00:00:00:00:00",
     "V0.0 build 0000-00-00"},
};

class DerivedValues : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DerivedValues, MatchTheRecord) {
    const RecordCase& c = GetParam();
    const DiscoveredDevice device = MakeRecord(c);
    EXPECT_EQ(DeviceTypeOf(device), c.type);
    EXPECT_EQ(SerialPrefix(device), c.prefix);
    EXPECT_EQ(MacText(device.Eth0.MAC), c.macText);
    EXPECT_EQ(VersionText(device), c.versionText);
}

INSTANTIATE_TEST_SUITE_P(Records, DerivedValues, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PortText, IsUnsignedDecimal) {
    EXPECT_EQ(PortText(0), "0");
    EXPECT_EQ(PortText(8000), "8000");
    EXPECT_EQ(PortText(65535), "65535");
}

TEST(FieldText, StopsAtTerminatorOrWidth) {
    DiscoveredDevice device{};
    std::memset(device.SN, 'S', sizeof device.SN);
    device.Model[0] = 'N';
    EXPECT_EQ(FieldText(device.SN).size(), sizeof device.SN);
    EXPECT_EQ(FieldText(device.Model), "N");
}

TEST(SetFieldText, CutsToWidthLessOne) {
    char field[16];
    SetFieldText(field, "192.168.100.1000");
    EXPECT_STREQ(field, "192.168.100.100");
    SetFieldText(field, "");
    EXPECT_STREQ(field, "");
}

}  // namespace
