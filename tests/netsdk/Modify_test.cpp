// Modify requests of the real SDK against devices played on 127.0.0.1.
#include <gtest/gtest.h>

#include "TestDevices.h"

using namespace quorlin;
using namespace quorlin::netsdk::test;

namespace {

DiscoveredDevice Moved(DiscoveredDevice device) {
    std::strcpy(device.Eth0.IP, "127.0.0.77");
    std::strcpy(device.Eth0.Mask, "255.255.0.0");
    std::strcpy(device.Eth0.GW, "127.0.0.1");
    return device;
}

TEST(Modify, DeviceNamedBySerialAndMacAppliesTheWholeRecord) {
    UdpResponder devices({{MakeDevice(1)}, {MakeDevice(2)}});
    SdkSession sdk(Env{{"ZQ_NETSDK_TARGETS", devices.Target()}});
    const DiscoveredDevice change = Moved(MakeDevice(2));
    EXPECT_NE(ZQ_NET_DVR_ModifyIPC(&change), 0);
    const auto applied = devices.Applied();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(std::memcmp(&applied[0], &change, sizeof change), 0);
}

TEST(Modify, ZeroUnlessTheDeviceAcknowledges) {
    struct Case {
        const char* name;
        UdpResponder::Device device;
        DiscoveredDevice change;
        int expected;
    };
    DiscoveredDevice otherMac = Moved(MakeDevice(1));
    otherMac.Eth0.MAC[5] ^= 1;
    DiscoveredDevice otherSerial = Moved(MakeDevice(1));
    otherSerial.SN[9] = 'X';
    const Case cases[] = {
        {"refused", {MakeDevice(1), 1, wire::Status::Refused}, Moved(MakeDevice(1)), 0},
        {"busy", {MakeDevice(1), 1, wire::Status::Busy}, Moved(MakeDevice(1)), 0},
        {"silent", {MakeDevice(1), 1, std::nullopt}, Moved(MakeDevice(1)), 0},
        {"other MAC", {MakeDevice(1)}, otherMac, 0},
        {"other serial", {MakeDevice(1)}, otherSerial, 0},
        {"first two requests lost",
         {MakeDevice(1), 1, wire::Status::Ok, 2},
         Moved(MakeDevice(1)),
         1},
    };
    SdkSession sdk(Env{});
    for (const Case& c : cases) {
        UdpResponder devices({c.device});
        setenv("ZQ_NETSDK_TARGETS", devices.Target().c_str(), 1);
        setenv("ZQ_NETSDK_TIMEOUT_MS", "1500", 1);
        ZQ_NET_DVR_Cleanup();
        ZQ_NET_DVR_Init();
        EXPECT_EQ(ZQ_NET_DVR_ModifyIPC(&c.change), c.expected) << c.name;
        EXPECT_EQ(devices.Applied().size(), static_cast<std::size_t>(c.expected)) << c.name;
        // Repeats of one request carry one request number.
        const auto ids = devices.ModifyIds();
        ASSERT_FALSE(ids.empty()) << c.name;
        for (const uint32_t id : ids)
            EXPECT_EQ(id, ids[0]) << c.name;
        if (std::string(c.name) == "silent") {
            EXPECT_GE(ids.size(), 3u);  // sent again until the time-out
        }
    }
    unsetenv("ZQ_NETSDK_TARGETS");
    unsetenv("ZQ_NETSDK_TIMEOUT_MS");
    EXPECT_EQ(ZQ_NET_DVR_ModifyIPC(nullptr), 0);
}

TEST(Modify, ReachesEveryTargetAndNeedsInit) {
    UdpResponder first({{MakeDevice(1)}});
    UdpResponder second({{MakeDevice(2)}});
    const DiscoveredDevice change = Moved(MakeDevice(2));
    EXPECT_EQ(ZQ_NET_DVR_ModifyIPC(&change), 0);  // before Init
    SdkSession sdk(Env{{"ZQ_NETSDK_TARGETS", first.Target() + "," + second.Target()}});
    EXPECT_NE(ZQ_NET_DVR_ModifyIPC(&change), 0);
    // The second device's answer may come back before the first one has read its copy.
    EXPECT_TRUE(Eventually([&] { return !first.ModifyIds().empty(); }));
    EXPECT_TRUE(first.Applied().empty());
    EXPECT_EQ(second.Applied().size(), 1u);
    // A second change is a new request with its own number.
    EXPECT_NE(ZQ_NET_DVR_ModifyIPC(&change), 0);
    const auto ids = second.ModifyIds();
    EXPECT_NE(ids.front(), ids.back());
    EXPECT_EQ(second.Applied().size(), 2u);
}

}  // namespace
