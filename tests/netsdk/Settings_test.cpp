#include "Settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Wire.h"

using namespace quorlin::netsdk;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

Settings FromTable(const std::map<std::string, std::string>& env) {
    return ReadSettings([&](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
}

TEST(Settings, DefaultsWhenNothingIsSet) {
    const Settings settings = FromTable({});
    ASSERT_EQ(settings.targets.size(), 1u);
    EXPECT_EQ(settings.targets[0],
              (Target{false, Ip(127, 0, 0, 1), quorlin::wire::kDiscoveryPort}));
    EXPECT_EQ(settings.quiet, 300ms);
    EXPECT_EQ(settings.passLimit, 3000ms);
    EXPECT_EQ(settings.timeout, 2000ms);
}

TEST(Settings, DurationsFallBackToTheirDefaultWhenBad) {
    struct Case {
        const char* value;
        std::chrono::milliseconds expected;
    };
    const Case cases[] = {
        {"150", 150ms},
        {" 42 ", 42ms},
        {"600000", 600000ms},
        {"600001", 2000ms},
        {"0", 2000ms},
        {"-5", 2000ms},
        {"", 2000ms},
        {"12ms", 2000ms},
        {"1e3", 2000ms},
        {"0x10", 2000ms},
        {"99999999999999999999", 2000ms},
    };
    for (const Case& c : cases) {
        const Settings settings = FromTable({{"ZQ_NETSDK_TIMEOUT_MS", c.value}});
        EXPECT_EQ(settings.timeout, c.expected) << '"' << c.value << '"';
        EXPECT_EQ(settings.quiet, kDefaultQuiet);
    }
    const Settings all = FromTable({{"ZQ_NETSDK_QUIET_MS", "20"},
                                    {"ZQ_NETSDK_PASS_MS", "900"},
                                    {"ZQ_NETSDK_TIMEOUT_MS", "70"}});
    EXPECT_EQ(all.quiet, 20ms);
    EXPECT_EQ(all.passLimit, 900ms);
    EXPECT_EQ(all.timeout, 70ms);
}

TEST(Settings, TargetListKeepsGoodEntriesInOrder) {
    struct Case {
        const char* value;
        std::vector<Target> expected;
    };
    const uint16_t d = quorlin::wire::kDiscoveryPort;
    const Case cases[] = {
        {"127.0.0.2:5000", {{false, Ip(127, 0, 0, 2), 5000}}},
        {"127.0.0.2", {{false, Ip(127, 0, 0, 2), d}}},
        {" 127.0.0.3:1 , 127.0.0.4:65535 ",
         {{false, Ip(127, 0, 0, 3), 1}, {false, Ip(127, 0, 0, 4), 65535}}},
        {"broadcast", {{true, 0, d}}},
        {"broadcast:7000,127.0.0.1:7000", {{true, 0, 7000}, {false, Ip(127, 0, 0, 1), 7000}}},
        {"127.0.0.5:9,,bogus,127.0.0.5:9,127.0.0.6:0", {{false, Ip(127, 0, 0, 5), 9}}},
        {"127.0.0.7:65536,127.0.0.8:x,1.2.3:4,localhost:4", FromTable({}).targets},
        {"", FromTable({}).targets},
        {",,,", FromTable({}).targets},
        {"BROADCAST", FromTable({}).targets},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FromTable({{"ZQ_NETSDK_TARGETS", c.value}}).targets, c.expected)
            << '"' << c.value << '"';
    }
}

TEST(Settings, ParsesDottedDecimalStrictly) {
    struct Case {
        const char* text;
        std::optional<uint32_t> expected;
    };
    const Case cases[] = {
        {"127.0.0.1", Ip(127, 0, 0, 1)},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"010.001.000.009", Ip(10, 1, 0, 9)},  // leading zeros are decimal
        {"256.0.0.1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1..2.3", std::nullopt},
        {"1.2.3.", std::nullopt},
        {".1.2.3", std::nullopt},
        {"1.2.3.0004", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"1.2.3.-4", std::nullopt},
        {"a.b.c.d", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIPv4(c.text), c.expected) << '"' << c.text << '"';
}

TEST(Settings, BroadcastAddressOfEveryUpBroadcastInterface) {
    const std::vector<InterfaceAddress> interfaces = {
        {"lo", Ip(127, 0, 0, 1), Ip(255, 0, 0, 0), true, false, true},
        {"eth0", Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), true, true, false},
        {"eth0", Ip(192, 168, 1, 21), Ip(255, 255, 255, 0), true, true, false},  // same subnet
        {"eth1", Ip(10, 20, 30, 40), Ip(255, 255, 240, 0), true, true, false},
        {"eth2", Ip(172, 16, 0, 1), Ip(255, 255, 0, 0), false, true, false},       // down
        {"tun0", Ip(10, 8, 0, 2), Ip(255, 255, 255, 0), true, false, false},       // point to point
        {"eth3", Ip(192, 0, 2, 1), Ip(255, 255, 255, 255), true, true, false},     // host route
        {"eth4", Ip(198, 51, 100, 4), Ip(255, 255, 255, 254), true, true, false},  // /31
        {"eth5", Ip(203, 0, 113, 9), Ip(255, 0, 255, 0), true, true, false},       // not contiguous
        {"eth6", Ip(100, 64, 7, 9), Ip(255, 255, 255, 252), true, true, false},    // /30
    };
    EXPECT_EQ(
        BroadcastAddresses(interfaces),
        (std::vector<uint32_t>{Ip(192, 168, 1, 255), Ip(10, 20, 31, 255), Ip(100, 64, 7, 11)}));
    EXPECT_TRUE(BroadcastAddresses({}).empty());
}

TEST(Settings, ResolvesBroadcastTargetsPerInterfaceWithoutRepeats) {
    const std::vector<InterfaceAddress> interfaces = {
        {"eth0", Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), true, true, false},
        {"eth1", Ip(10, 0, 0, 1), Ip(255, 0, 0, 0), true, true, false},
    };
    const std::vector<Target> targets = {{false, Ip(127, 0, 0, 1), 41894},
                                         {true, 0, 41894},
                                         {false, Ip(192, 168, 1, 255), 41894},
                                         {true, 0, 5000}};
    EXPECT_EQ(ResolveTargets(targets, interfaces),
              (std::vector<Destination>{{Ip(127, 0, 0, 1), 41894},
                                        {Ip(192, 168, 1, 255), 41894},
                                        {Ip(10, 255, 255, 255), 41894},
                                        {Ip(192, 168, 1, 255), 5000},
                                        {Ip(10, 255, 255, 255), 5000}}));
    // Without interfaces a broadcast target sends nothing, and plain targets stay.
    EXPECT_EQ(ResolveTargets(targets, {}),
              (std::vector<Destination>{{Ip(127, 0, 0, 1), 41894}, {Ip(192, 168, 1, 255), 41894}}));
}

TEST(Settings, SystemInterfacesIncludeLoopbackWithoutBroadcast) {
    const auto interfaces = SystemInterfaces();
    bool sawLoopback = false;
    for (const auto& entry : interfaces) {
        if (entry.address == Ip(127, 0, 0, 1)) {
            sawLoopback = true;
            EXPECT_TRUE(entry.loopback);
        }
    }
    EXPECT_TRUE(sawLoopback);
    for (const uint32_t address : BroadcastAddresses(interfaces)) {
        EXPECT_NE(address >> 24, 127u) << AddressText(address);
    }
}

}  // namespace
