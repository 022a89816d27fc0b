// What one stored report costs the discovery document when a pass holds 250 devices: the append
// with its atomic save, the reload of the last entry, and, for comparison, what syncing a file
// of the same size to disk would add to every append.
//
//   quorlin-bench-document [directory]   (default: a new directory under $TMPDIR or /tmp)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DiscoveryDocument.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 250;
constexpr int kPasses = 7;
constexpr int kSyncWrites = 20;

DiscoveredDevice Device(int i) {
    DiscoveredDevice d{};
    const unsigned index = static_cast<unsigned>(i) % (250u * 250u);
    std::snprintf(d.Eth0.IP, sizeof d.Eth0.IP, "127.0.%u.%u", index / 250u, index % 250u + 2u);
    std::strcpy(d.Eth0.Mask, "255.0.0.0");
    std::strcpy(d.Eth0.GW, "127.0.0.1");
    std::strcpy(d.Eth0.DNS1, "127.0.0.53");
    std::strcpy(d.Eth0.DNS2, "127.0.0.54");
    d.Eth0.MAC[5] = static_cast<uint8_t>(i);
    std::strcpy(d.Wifi.IP, "127.1.0.2");
    d.Port.Private = 8000;
    d.Port.Http = 80;
    d.Port.Rtsp = 554;
    std::snprintf(d.SN, sizeof d.SN, "0262-BENCH-%06d", i);
    std::strcpy(d.User.U, "admin");
    std::strcpy(d.User.P, "12345");
    std::strcpy(d.Model, "IPC-HD2");
    return d;
}

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir;
    if (argc > 1) {
        dir = argv[1];
        fs::create_directories(dir);
    } else {
        std::string pattern = (fs::temp_directory_path() / "quorlin-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        dir = pattern;
    }
    const fs::path file = dir / "Discovery.Xml";

    std::vector<double> passTotals, lastTenAppends, firstTenAppends, reloads;
    for (int pass = 0; pass < kPasses; ++pass) {
        DiscoveryDocument document(file.string());
        document.Reset();
        double total = 0, first = 0, last = 0;
        for (int i = 0; i < kDevices; ++i) {
            const DiscoveredDevice device = Device(i);
            const auto start = Clock::now();
            document.Append(device);
            const double took = Micros(Clock::now() - start);
            total += took;
            if (i < 10)
                first += took;
            if (i >= kDevices - 10)
                last += took;
        }
        passTotals.push_back(total);
        firstTenAppends.push_back(first / 10);
        lastTenAppends.push_back(last / 10);

        DiscoveredDevice record;
        const std::string lastKey = Device(kDevices - 1).SN;
        const auto start = Clock::now();
        constexpr int kReloads = 200;
        for (int r = 0; r < kReloads; ++r)
            document.Reload(lastKey, record);
        reloads.push_back(Micros(Clock::now() - start) / kReloads);
    }
    const auto size = fs::file_size(file);

    // The same number of bytes written, with and without fsync before the rename.
    const std::string bytes(size, 'x');
    std::vector<double> plain, synced;
    for (int round = 0; round < 2 * kSyncWrites; ++round) {
        const bool sync = round % 2 == 1;
        const fs::path temporary = dir / "sync-probe.tmp";
        const auto start = Clock::now();
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return 1;
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return 1;
        if (sync)
            ::fsync(fd);
        ::close(fd);
        fs::rename(temporary, dir / "sync-probe.xml");
        (sync ? synced : plain).push_back(Micros(Clock::now() - start));
    }

    std::printf("document of %d nodes: %ju bytes\n", kDevices, static_cast<uintmax_t>(size));
    std::printf("append, nodes 1-10 (median of %d passes):    %8.1f us each\n", kPasses,
                Median(firstTenAppends));
    std::printf("append, nodes 241-250 (median of %d passes): %8.1f us each\n", kPasses,
                Median(lastTenAppends));
    std::printf("whole pass of %d appends (median):          %8.1f ms\n", kDevices,
                Median(passTotals) / 1000);
    std::printf("reload of the last of %d nodes (median):    %8.1f us\n", kDevices,
                Median(reloads));
    std::printf("write + rename of %ju bytes:                %8.1f us\n",
                static_cast<uintmax_t>(size), Median(plain));
    std::printf("write + fsync + rename of %ju bytes:        %8.1f us\n",
                static_cast<uintmax_t>(size), Median(synced));

    if (argc <= 1)
        fs::remove_all(dir);
    return 0;
}
