// bench_netsdk_calls: how fast the SDK answers the calls whose speed the tool relies on, against
// devices played on 127.0.0.1 in this process:
//   - StopDiscoveryIPC: time from the stop until the running StartDiscoveryIPC returns (goal:
//     well under 50 ms);
//   - an empty pass: time of a pass that nobody answers (the probes and the quiet time);
//   - 250 logins, reads and logouts at once from 250 threads.
#include <cstdio>
#include <future>

#include "TestDevices.h"

using namespace quorlin::netsdk::test;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Callback(const DiscoveredDevice*, void* user) {
    ++*static_cast<std::atomic<int>*>(user);
}

void StopLatency() {
    UdpResponder devices({{MakeDevice(1)}});
    SdkSession sdk(Env{{"ZQ_NETSDK_TARGETS", devices.Target()},
                       {"ZQ_NETSDK_QUIET_MS", "60000"},
                       {"ZQ_NETSDK_PASS_MS", "60000"}});
    std::atomic<int> reports{0};
    ZQ_NET_DVR_SetDiscoveryCallBack(&Callback, &reports);
    double worst = 0, total = 0;
    constexpr int kRounds = 20;
    for (int i = 0; i < kRounds; ++i) {
        const int before = reports.load();
        auto pass = std::async(std::launch::async, [] { return ZQ_NET_DVR_StartDiscoveryIPC(); });
        Eventually([&] { return reports.load() > before; });
        const auto stopped = Clock::now();
        ZQ_NET_DVR_StopDiscoveryIPC();
        pass.wait();
        const double ms = Ms(Clock::now() - stopped);
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("stop -> start returns: mean %.2f ms, worst %.2f ms over %d passes\n",
                total / kRounds, worst, kRounds);
}

void EmptyPass() {
    UdpResponder nobody({});
    SdkSession sdk(Env{{"ZQ_NETSDK_TARGETS", nobody.Target()}});
    const auto start = Clock::now();
    ZQ_NET_DVR_StartDiscoveryIPC();
    std::printf("pass with no reply (default quiet time): %.1f ms\n", Ms(Clock::now() - start));
}

void ParallelLogins() {
    TcpResponder::Behaviour behaviour;
    std::strcpy(behaviour.block.Entry[0].Name, "SensorModel");
    TcpResponder device(behaviour);
    SdkSession sdk(Env{{"ZQ_NETSDK_TIMEOUT_MS", "30000"}});
    constexpr int kThreads = 250;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            const int32_t login =
                ZQ_NET_DVR_Login("127.0.0.1", device.Port(), "admin", "12345", nullptr);
            if (login < 0)
                return;
            ZQ_ConfigBlock block{};
            const int read = ZQ_NET_DVR_GetDVRConfig(login, 533, 0, &block, sizeof block, nullptr);
            if (ZQ_NET_DVR_Logout(login) && read)
                ++ok;
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::printf("%d threads: login + read + logout, %d ok, %.1f ms in all\n", kThreads, ok.load(),
                Ms(Clock::now() - start));
}

}  // namespace

int main() {
    StopLatency();
    EmptyPass();
    ParallelLogins();
    return 0;
}
