// bench_discovery_pass: discovery passes of the real SDK over a fleet played by the real
// simulator on loopback. For each pass it prints how long the pass took next to when its last
// reply arrived; the pass should end within the quiet time + 50 ms of that reply, and a
// 250-device pass should take under 500 ms.
//
//   bench_discovery_pass [--passes N] [--devices N]
//
// Exits 1 when a device was missed or a goal was not met.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "DevsimProcess.h"
#include "ZQ_NetSDK.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pass {
    std::mutex mutex;
    Clock::time_point start;
    Clock::time_point last;
    int replies = 0;
};

void OnReport(const DiscoveredDevice*, void* context) {
    auto& pass = *static_cast<Pass*>(context);
    std::lock_guard lock(pass.mutex);
    pass.last = Clock::now();
    ++pass.replies;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int passes = 10;
    int devices = 250;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--passes") == 0)
            passes = std::clamp(std::atoi(argv[i + 1]), 1, 1000);
        if (std::strcmp(argv[i], "--devices") == 0)
            devices = std::clamp(std::atoi(argv[i + 1]), 1, 5000);
    }
    const char* quietSetting = std::getenv("ZQ_NETSDK_QUIET_MS");
    const double quietMs = quietSetting ? std::atof(quietSetting) : 300.0;

    quorlin::test::DevsimProcess sim("<Fleet><Generate Type=\"IPC\" Count=\"" +
                                     std::to_string(devices) +
                                     "\" FirstIP=\"127.23.0.1\" /></Fleet>");
    if (!sim.Ready()) {
        std::fprintf(stderr, "bench_discovery_pass: %s\n", sim.Error().c_str());
        return 2;
    }
    Pass pass;
    ZQ_NET_DVR_Init();
    ZQ_NET_DVR_SetDiscoveryCallBack(OnReport, &pass);

    std::printf("%d devices, quiet time %.0f ms\n", devices, quietMs);
    std::printf("%6s %10s %14s %16s %8s\n", "pass", "pass_ms", "last_reply_ms", "after_last_ms",
                "replies");
    std::vector<double> passTimes, lastTimes, afterTimes;
    bool missed = false;
    for (int i = 0; i < passes; ++i) {
        {
            std::lock_guard lock(pass.mutex);
            pass.replies = 0;
            pass.start = pass.last = Clock::now();
        }
        ZQ_NET_DVR_StartDiscoveryIPC();
        const auto end = Clock::now();
        std::lock_guard lock(pass.mutex);
        const double passMs = Ms(end - pass.start);
        const double lastMs = Ms(pass.last - pass.start);
        passTimes.push_back(passMs);
        lastTimes.push_back(lastMs);
        afterTimes.push_back(passMs - lastMs);
        missed = missed || pass.replies != devices;
        std::printf("%6d %10.1f %14.1f %16.1f %8d\n", i + 1, passMs, lastMs, passMs - lastMs,
                    pass.replies);
    }
    ZQ_NET_DVR_Cleanup();

    const double worstAfter = *std::max_element(afterTimes.begin(), afterTimes.end());
    const double worstPass = *std::max_element(passTimes.begin(), passTimes.end());
    std::printf("median: pass %.1f ms, last reply %.1f ms, pass end after last reply %.1f ms\n",
                Median(passTimes), Median(lastTimes), Median(afterTimes));
    std::printf("worst:  pass %.1f ms, pass end after last reply %.1f ms\n", worstPass, worstAfter);
    const bool endGoal = worstAfter <= quietMs + 50;
    const bool passGoal = devices != 250 || worstPass < 500;
    std::printf("goal: end within quiet + 50 ms of the last reply: %s\n",
                endGoal ? "met" : "MISSED");
    if (devices == 250)
        std::printf("goal: 250-device pass under 500 ms: %s\n", passGoal ? "met" : "MISSED");
    if (missed)
        std::printf("some passes missed devices\n");
    return endGoal && passGoal && !missed ? 0 : 1;
}
