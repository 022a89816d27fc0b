// Discovery passes of the real SDK against devices played on 127.0.0.1.
#include <gtest/gtest.h>

#include <future>

#include "TestDevices.h"

using namespace quorlin;
using namespace quorlin::netsdk::test;

namespace {

// Collects what the callback is given, and checks that it is never entered twice at once.
struct Collector {
    std::mutex mutex;
    std::vector<DiscoveredDevice> devices;
    std::set<std::thread::id> threads;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::chrono::milliseconds work{0};

    static void Callback(const DiscoveredDevice* device, void* user) {
        auto* self = static_cast<Collector*>(user);
        if (self->inside.fetch_add(1) != 0)
            ++self->overlaps;
        std::this_thread::sleep_for(self->work);
        {
            std::lock_guard lock(self->mutex);
            self->devices.push_back(*device);
            self->threads.insert(std::this_thread::get_id());
        }
        self->inside.fetch_sub(1);
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return devices.size();
    }
};

std::vector<UdpResponder::Device> Fleet(int count, int firstDuplicates = 1) {
    std::vector<UdpResponder::Device> fleet;
    for (int i = 0; i < count; ++i)
        fleet.push_back({MakeDevice(i), i == 0 ? firstDuplicates : 1});
    return fleet;
}

// An SDK session aimed at `targets`, with further settings, whose discovery callback feeds a
// collector taking `work` for each report.
struct Discovering {
    Discovering(const std::string& targets, Env settings = {}, std::chrono::milliseconds work = 0ms)
        : sdk(WithTargets(targets, std::move(settings))) {
        collector.work = work;
        registered = ZQ_NET_DVR_SetDiscoveryCallBack(&Collector::Callback, &collector) != 0;
    }
    static Env WithTargets(const std::string& targets, Env settings) {
        settings["ZQ_NETSDK_TARGETS"] = targets;
        return settings;
    }

    SdkSession sdk;
    Collector collector;
    bool registered = false;
};

// Quiet time and pass limit long enough that only a stop or a cleanup ends a pass.
const Env kUntilStopped{{"ZQ_NETSDK_QUIET_MS", "60000"}, {"ZQ_NETSDK_PASS_MS", "60000"}};

std::future<int> StartInBackground() {
    return std::async(std::launch::async, [] { return ZQ_NET_DVR_StartDiscoveryIPC(); });
}

TEST(Discovery, DeliversEveryReplyIncludingDuplicatesBeforeReturning) {
    UdpResponder devices(Fleet(12, /*firstDuplicates=*/3));
    Discovering pass(devices.Target(), {}, 2ms);
    ASSERT_TRUE(pass.registered);
    Collector& collector = pass.collector;

    EXPECT_EQ(ZQ_NET_DVR_StartDiscoveryIPC(), 1);
    // 11 devices once, one device three times; the probe repeats are answered only once.
    EXPECT_EQ(collector.Count(), 14u);
    EXPECT_EQ(collector.overlaps.load(), 0);
    EXPECT_EQ(collector.threads.size(), 1u);
    EXPECT_EQ(collector.threads.count(std::this_thread::get_id()), 0u);  // an SDK thread
    std::map<std::string, int> perSerial;
    for (const auto& device : collector.devices)
        ++perSerial[device.SN];
    EXPECT_EQ(perSerial.size(), 12u);
    EXPECT_EQ(perSerial["0262000000"], 3);

    // Reports travel byte for byte.
    const DiscoveredDevice expected = MakeDevice(5);
    bool found = false;
    for (const auto& device : collector.devices) {
        if (std::strcmp(device.SN, expected.SN) == 0) {
            found = std::memcmp(&device, &expected, sizeof device) == 0;
        }
    }
    EXPECT_TRUE(found);

    // Every probe of a pass carries one identifier; the next pass carries the next one.
    const auto firstPass = devices.ProbePassIds();
    ASSERT_GE(firstPass.size(), 2u);
    for (const uint32_t id : firstPass)
        EXPECT_EQ(id, firstPass[0]);
    EXPECT_EQ(ZQ_NET_DVR_StartDiscoveryIPC(), 1);
    EXPECT_EQ(collector.Count(), 28u);
    EXPECT_EQ(devices.ProbePassIds().back(), firstPass[0] + 1);
}

TEST(Discovery, EndsAfterTheQuietTimeWithoutReplies) {
    UdpResponder nobody({});
    Discovering pass(nobody.Target(),
                     {{"ZQ_NETSDK_QUIET_MS", "200"}, {"ZQ_NETSDK_PASS_MS", "30000"}});
    Collector& collector = pass.collector;
    const auto start = Clock::now();
    EXPECT_EQ(ZQ_NET_DVR_StartDiscoveryIPC(), 1);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 200ms);  // never before the quiet time has passed
    EXPECT_LT(elapsed, 20s);    // long before the pass limit
    EXPECT_EQ(collector.Count(), 0u);
    EXPECT_GE(nobody.ProbeCount(), 2);
}

TEST(Discovery, ReplyArrivingLateInTheQuietTimeIsStillDelivered) {
    UdpResponder slow(Fleet(2));
    slow.SetReplyDelay(250ms);  // the last probe goes out at 40 ms; replies come later
    Discovering pass(slow.Target(), {{"ZQ_NETSDK_QUIET_MS", "2000"}});
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(pass.collector.Count(), 2u);
}

TEST(Discovery, EndsAtThePassLimitWhenRepliesKeepComing) {
    UdpResponder devices(Fleet(3));
    Discovering pass(devices.Target(),
                     {{"ZQ_NETSDK_QUIET_MS", "60000"}, {"ZQ_NETSDK_PASS_MS", "400"}});
    const auto start = Clock::now();
    ZQ_NET_DVR_StartDiscoveryIPC();
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 400ms);
    EXPECT_LT(elapsed, 30s);
    EXPECT_EQ(pass.collector.Count(), 3u);
}

TEST(Discovery, StopFromAnotherThreadEndsARunningPass) {
    UdpResponder devices(Fleet(1));
    Discovering discovering(devices.Target(), kUntilStopped);
    Collector& collector = discovering.collector;
    auto pass = StartInBackground();
    ASSERT_TRUE(Eventually([&] { return collector.Count() == 1; }));

    const auto stopped = Clock::now();
    EXPECT_EQ(ZQ_NET_DVR_StopDiscoveryIPC(), 1);
    ASSERT_EQ(pass.wait_for(20s), std::future_status::ready);
    EXPECT_LT(Clock::now() - stopped, 20s);
    EXPECT_EQ(pass.get(), 1);
    EXPECT_EQ(collector.Count(), 1u);
}

TEST(Discovery, StopWhenNoPassRunsIsHarmless) {
    UdpResponder devices(Fleet(2));
    Discovering pass(devices.Target());
    EXPECT_EQ(ZQ_NET_DVR_StopDiscoveryIPC(), 1);
    EXPECT_EQ(ZQ_NET_DVR_StopDiscoveryIPC(), 1);
    // The worker's order: stop, then start; the earlier stop does not end the new pass.
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(pass.collector.Count(), 2u);
    EXPECT_EQ(ZQ_NET_DVR_StopDiscoveryIPC(), 1);
}

TEST(Discovery, DropsMalformedAndForeignDatagrams) {
    const DiscoveredDevice good = MakeDevice(1);
    UdpResponder devices({{good, 1}});
    Discovering discovering(devices.Target(), {{"ZQ_NETSDK_QUIET_MS", "1500"}});
    Collector& collector = discovering.collector;

    // The pass identifier is learned from the first pass, so that the bad datagrams of the
    // second pass differ from a good reply in one respect only.
    ZQ_NET_DVR_StartDiscoveryIPC();
    ASSERT_EQ(collector.Count(), 1u);
    const uint32_t next = devices.ProbePassIds().back() + 1;

    const wire::Bytes valid = wire::EncodeProbeReply(next, MakeDevice(2));
    std::vector<wire::Bytes> bad;
    bad.push_back(wire::EncodeProbeReply(next - 1, MakeDevice(3)));  // an earlier pass
    bad.push_back(wire::EncodeProbeReply(next + 7, MakeDevice(3)));  // another pass
    bad.push_back(wire::EncodeModifyRequest(next, MakeDevice(3)));   // another type
    bad.push_back(wire::EncodeProbe(next));                          // our own kind
    bad.push_back(wire::Bytes(valid.begin(), valid.end() - 1));      // one byte short
    bad.push_back(valid);
    bad.back().push_back(0);  // one byte long
    bad.push_back(valid);
    bad.back()[0] ^= 0xFF;  // magic
    bad.push_back(valid);
    bad.back()[4] = 2;  // version
    bad.push_back(valid);
    bad.back()[12] = 0xFF;                                          // announced length
    bad.push_back(wire::Bytes(wire::kMaxMessage + 100, 0x51));      // oversized
    bad.push_back({});                                              // empty
    bad.push_back(wire::Bytes(valid.begin(), valid.begin() + 16));  // header alone
    devices.SetExtraDatagrams(bad);

    // A stranger on another port sends garbage and a reply of the right pass: the garbage is
    // dropped, the reply counts, since replies to a broadcast come from any address.
    const int probesBefore = devices.ProbeCount();
    auto pass = StartInBackground();
    ASSERT_TRUE(Eventually([&] { return devices.ProbeCount() > probesBefore; }));
    const auto prober = devices.Prober();  // the second pass's socket
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const wire::Bytes garbage(300, 0xEE);
    const wire::Bytes reply = wire::EncodeProbeReply(next, MakeDevice(4));
    for (const auto* datagram : {&garbage, &reply}) {
        sendto(fd, datagram->data(), datagram->size(), 0,
               reinterpret_cast<const sockaddr*>(&*prober), sizeof *prober);
    }
    close(fd);
    pass.wait();

    std::set<std::string> serials;
    for (const auto& device : collector.devices)
        serials.insert(device.SN);
    EXPECT_EQ(collector.Count(), 3u);
    EXPECT_EQ(serials, (std::set<std::string>{MakeDevice(1).SN, MakeDevice(4).SN}));
}

TEST(Discovery, RecordWithUnterminatedTextsIsDeliveredAsItCame) {
    DiscoveredDevice full = MakeDevice(9);
    std::memset(full.SN, 'S', sizeof full.SN);
    std::memset(full.Model, 'M', sizeof full.Model);
    std::memset(full.Eth0.IP, '9', sizeof full.Eth0.IP);
    UdpResponder devices({{full, 1}});
    Discovering pass(devices.Target());
    ZQ_NET_DVR_StartDiscoveryIPC();
    ASSERT_EQ(pass.collector.Count(), 1u);
    EXPECT_EQ(std::memcmp(&pass.collector.devices[0], &full, sizeof full), 0);
}

TEST(Discovery, CallbackIsNeverEnteredTwiceAtOnce) {
    // Two responders answer together, with duplicates, while the callback takes its time.
    UdpResponder first(Fleet(20, 4));
    std::vector<UdpResponder::Device> more;
    for (int i = 100; i < 120; ++i)
        more.push_back({MakeDevice(i), 2});
    UdpResponder second(more);
    Discovering pass(first.Target() + "," + second.Target(), {}, 3ms);
    Collector& collector = pass.collector;
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(collector.Count(), 19u + 4u + 40u);
    EXPECT_EQ(collector.overlaps.load(), 0);
    EXPECT_EQ(collector.threads.size(), 1u);
}

TEST(Discovery, SlowCallbackLosesNoQueuedReply) {
    // Each call outlasts the quiet time; the replies waiting meanwhile are still delivered.
    UdpResponder devices(Fleet(5));
    Discovering pass(devices.Target(), {{"ZQ_NETSDK_QUIET_MS", "50"}}, 150ms);
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(pass.collector.Count(), 5u);
}

TEST(Discovery, StopAlsoEndsAStartWaitingForItsTurn) {
    UdpResponder devices(Fleet(1));
    Discovering pass(devices.Target(), kUntilStopped);
    auto first = StartInBackground();
    ASSERT_TRUE(Eventually([&] { return pass.collector.Count() == 1; }));
    auto second = StartInBackground();
    std::this_thread::sleep_for(300ms);  // let it queue behind the first
    ZQ_NET_DVR_StopDiscoveryIPC();
    EXPECT_EQ(first.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(second.wait_for(20s), std::future_status::ready);
}

TEST(Discovery, StartsFromSeveralThreadsRunOneAfterAnother) {
    UdpResponder devices(Fleet(3));
    Discovering pass(devices.Target(), {{"ZQ_NETSDK_QUIET_MS", "100"}});
    Collector& collector = pass.collector;
    std::vector<std::thread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([] { ZQ_NET_DVR_StartDiscoveryIPC(); });
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(collector.Count(), 9u);
    EXPECT_EQ(collector.overlaps.load(), 0);
}

TEST(Discovery, NothingWorksBeforeInitAndCleanupEndsARunningPass) {
    EXPECT_EQ(ZQ_NET_DVR_StartDiscoveryIPC(), 0);
    EXPECT_EQ(ZQ_NET_DVR_StopDiscoveryIPC(), 0);
    EXPECT_EQ(ZQ_NET_DVR_SetDiscoveryCallBack(&Collector::Callback, nullptr), 0);
    EXPECT_EQ(ZQ_NET_DVR_Cleanup(), 0);

    UdpResponder devices(Fleet(1));
    const Env settings = Discovering::WithTargets(devices.Target(), kUntilStopped);
    for (const auto& [name, value] : settings)
        setenv(name.c_str(), value.c_str(), 1);
    ASSERT_EQ(ZQ_NET_DVR_Init(), 1);
    Collector collector;
    ZQ_NET_DVR_SetDiscoveryCallBack(&Collector::Callback, &collector);
    auto pass = StartInBackground();
    ASSERT_TRUE(Eventually([&] { return collector.Count() == 1; }));
    EXPECT_EQ(ZQ_NET_DVR_Cleanup(), 1);
    EXPECT_EQ(pass.wait_for(20s), std::future_status::ready);
    for (const auto& entry : settings)
        unsetenv(entry.first.c_str());

    // Init works again, with a fresh registration.
    UdpResponder again(Fleet(2));
    Discovering second(again.Target());
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(second.collector.Count(), 2u);
    EXPECT_EQ(collector.Count(), 1u);
}

}  // namespace
