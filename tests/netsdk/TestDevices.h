// TestDevices.h: small device stand-ins on 127.0.0.1 for the SDK's tests: a UDP responder that
// answers probes and modify requests, and a TCP responder that serves logins, configuration
// reads and logouts. Plain POSIX sockets on ephemeral ports, one thread each.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Wire.h"
#include "ZQ_NetSDK.h"

namespace quorlin::netsdk::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline DiscoveredDevice MakeDevice(int n, const char* model = "IPC-T1") {
    DiscoveredDevice device{};
    std::snprintf(device.Eth0.IP, sizeof device.Eth0.IP, "127.0.0.%d", 1 + n % 250);
    std::strcpy(device.Eth0.Mask, "255.0.0.0");
    std::strcpy(device.Eth0.GW, "127.0.0.254");
    const uint8_t mac[6] = {
        0x00, 0x12, 0xAB, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    std::memcpy(device.Eth0.MAC, mac, sizeof mac);
    std::snprintf(device.SN, sizeof device.SN, "0262%06d", n);
    std::strcpy(device.User.U, "admin");
    std::strcpy(device.User.P, "12345");
    std::snprintf(device.Model, sizeof device.Model, "%s", model);
    device.Port.Private = 8000;
    device.Version = 0x00030002;
    return device;
}

// Waits, polling, until `condition` holds or `limit` has passed.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = 10s) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

inline uint16_t PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

using Env = std::map<std::string, std::string>;

// Sets the SDK's environment, initialises it, and cleans it up at the end of the scope.
class SdkSession {
public:
    explicit SdkSession(std::map<std::string, std::string> env) : m_env(std::move(env)) {
        for (const auto& [name, value] : m_env)
            setenv(name.c_str(), value.c_str(), 1);
        ZQ_NET_DVR_Init();
    }
    ~SdkSession() {
        ZQ_NET_DVR_Cleanup();
        for (const auto& entry : m_env)
            unsetenv(entry.first.c_str());
    }

private:
    std::map<std::string, std::string> m_env;
};

// Plays devices that answer probes and modify requests.
class UdpResponder {
public:
    struct Device {
        DiscoveredDevice record;
        int duplicates = 1;
        // Modify behaviour: the status sent back, or nothing (the device stays silent).
        std::optional<wire::Status> modifyStatus = wire::Status::Ok;
        int dropModifyRequests = 0;  // the first N modify requests are lost
    };

    explicit UdpResponder(std::vector<Device> devices) : m_devices(std::move(devices)) {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in address = Loopback(0);
        bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        m_port = PortOf(m_fd);
        m_thread = std::thread([this] { Run(); });
    }
    ~UdpResponder() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }

    uint16_t Port() const { return m_port; }
    std::string Target() const { return "127.0.0.1:" + std::to_string(m_port); }

    // Raw datagrams sent to the prober, before the replies, on the first probe of each pass.
    void SetExtraDatagrams(std::vector<wire::Bytes> datagrams) {
        std::lock_guard lock(m_mutex);
        m_extra = std::move(datagrams);
    }
    // Time the devices take before answering a probe.
    void SetReplyDelay(std::chrono::milliseconds delay) {
        std::lock_guard lock(m_mutex);
        m_delay = delay;
    }

    int ProbeCount() const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_probes.size());
    }
    std::vector<uint32_t> ProbePassIds() const {
        std::lock_guard lock(m_mutex);
        return m_probes;
    }
    std::optional<sockaddr_in> Prober() const {
        std::lock_guard lock(m_mutex);
        return m_prober;
    }
    // Sequence numbers of the modify requests received, and the records applied.
    std::vector<uint32_t> ModifyIds() const {
        std::lock_guard lock(m_mutex);
        return m_modifyIds;
    }
    std::vector<DiscoveredDevice> Applied() const {
        std::lock_guard lock(m_mutex);
        return m_applied;
    }

private:
    void Run() {
        std::vector<uint8_t> buffer(wire::kMaxMessage + 16);
        while (!m_stop) {
            pollfd entry{m_fd, POLLIN, 0};
            if (poll(&entry, 1, 10) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t size = recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size < 0)
                continue;
            const wire::ByteSpan message(buffer.data(), static_cast<std::size_t>(size));
            if (const auto passId = wire::DecodeProbe(message)) {
                OnProbe(*passId, from);
                continue;
            }
            uint32_t requestId = 0;
            if (const auto record = wire::DecodeModifyRequest(message, requestId)) {
                OnModify(requestId, *record, from);
            }
        }
    }

    void Send(const wire::Bytes& bytes, const sockaddr_in& to) {
        sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    }

    void OnProbe(uint32_t passId, const sockaddr_in& from) {
        std::vector<wire::Bytes> extra;
        std::chrono::milliseconds delay{};
        {
            std::lock_guard lock(m_mutex);
            m_probes.push_back(passId);
            m_prober = from;
            if (!m_answered.insert(passId).second)
                return;  // each pass is answered once
            extra = m_extra;
            delay = m_delay;
        }
        std::this_thread::sleep_for(delay);
        for (const auto& datagram : extra)
            Send(datagram, from);
        for (const Device& device : m_devices) {
            for (int i = 0; i < device.duplicates; ++i)
                Send(wire::EncodeProbeReply(passId, device.record), from);
        }
    }

    void OnModify(uint32_t requestId, const DiscoveredDevice& record, const sockaddr_in& from) {
        std::lock_guard lock(m_mutex);
        m_modifyIds.push_back(requestId);
        for (Device& device : m_devices) {
            if (std::strncmp(device.record.SN, record.SN, sizeof record.SN) != 0 ||
                std::memcmp(device.record.Eth0.MAC, record.Eth0.MAC, 6) != 0) {
                continue;
            }
            if (device.dropModifyRequests > 0) {
                --device.dropModifyRequests;
                return;
            }
            if (!device.modifyStatus)
                return;
            if (m_modifyAnswered.insert(requestId).second &&
                *device.modifyStatus == wire::Status::Ok) {
                m_applied.push_back(record);
            }
            Send(wire::EncodeModifyReply(requestId, *device.modifyStatus), from);
        }
    }

    std::vector<Device> m_devices;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<wire::Bytes> m_extra;
    std::chrono::milliseconds m_delay{0};
    std::vector<uint32_t> m_probes;
    std::set<uint32_t> m_answered;
    std::optional<sockaddr_in> m_prober;
    std::vector<uint32_t> m_modifyIds;
    std::set<uint32_t> m_modifyAnswered;
    std::vector<DiscoveredDevice> m_applied;
    std::thread m_thread;
};

// Plays one device's control port: logins, configuration reads and logouts, any number of
// connections at once, on one thread.
class TcpResponder {
public:
    struct Behaviour {
        std::string user = "admin";
        std::string password = "12345";
        bool answerLogin = true;
        std::optional<wire::Status> configStatus = wire::Status::Ok;  // nothing: no answer
        bool malformedConfig = false;                                 // a reply one byte short
        ZQ_ConfigBlock block{};
    };

    explicit TcpResponder(Behaviour behaviour) : m_behaviour(behaviour) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in address = Loopback(0);
        bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        listen(m_listener, 1024);
        m_port = PortOf(m_listener);
        m_thread = std::thread([this] { Run(); });
    }
    ~TcpResponder() {
        m_stop = true;
        m_thread.join();
        for (auto& entry : m_connections)
            close(entry.first);
        close(m_listener);
    }

    uint16_t Port() const { return m_port; }

    struct Counts {
        int connections = 0, logins = 0, goodLogins = 0, configs = 0, logouts = 0, open = 0;
        uint32_t lastCommand = 0;
        int32_t lastChannel = -99;
        std::string lastUser;
    };
    Counts Get() const {
        std::lock_guard lock(m_mutex);
        Counts counts = m_counts;
        counts.open = static_cast<int>(m_connections.size());
        return counts;
    }

private:
    void Run() {
        while (!m_stop) {
            std::vector<pollfd> entries{{m_listener, POLLIN, 0}};
            for (const auto& entry : m_connections)
                entries.push_back({entry.first, POLLIN, 0});
            if (poll(entries.data(), entries.size(), 10) <= 0)
                continue;
            if (entries[0].revents & POLLIN) {
                const int fd = accept(m_listener, nullptr, nullptr);
                if (fd >= 0) {
                    std::lock_guard lock(m_mutex);
                    m_connections[fd];
                    ++m_counts.connections;
                }
            }
            for (std::size_t i = 1; i < entries.size(); ++i) {
                if (entries[i].revents)
                    Serve(entries[i].fd);
            }
        }
    }

    void Drop(int fd) {
        close(fd);
        std::lock_guard lock(m_mutex);
        m_connections.erase(fd);
    }

    void Serve(int fd) {
        uint8_t chunk[4096];
        const ssize_t size = recv(fd, chunk, sizeof chunk, 0);
        if (size <= 0)
            return Drop(fd);
        wire::Bytes& input = m_connections[fd];
        input.insert(input.end(), chunk, chunk + size);
        while (input.size() >= wire::kHeaderSize) {
            wire::Header header{};
            if (wire::DecodeHeader(input, header) != wire::FrameStatus::Complete)
                return Drop(fd);
            const std::size_t total = wire::kHeaderSize + header.length;
            if (input.size() < total)
                return;
            const wire::Bytes message(input.begin(), input.begin() + static_cast<long>(total));
            input.erase(input.begin(), input.begin() + static_cast<long>(total));
            if (!Handle(fd, message))
                return Drop(fd);
        }
    }

    void Send(int fd, const wire::Bytes& bytes) {
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // False when the connection is to be closed.
    bool Handle(int fd, const wire::Bytes& message) {
        uint32_t sequence = 0;
        if (const auto credentials = wire::DecodeLoginRequest(message, sequence)) {
            const std::string user(credentials->user.data(), strnlen(credentials->user.data(), 32));
            const std::string password(credentials->password.data(),
                                       strnlen(credentials->password.data(), 16));
            const bool good = user == m_behaviour.user && password == m_behaviour.password;
            {
                std::lock_guard lock(m_mutex);
                ++m_counts.logins;
                m_counts.goodLogins += good;
                m_counts.lastUser = user;
            }
            if (!m_behaviour.answerLogin)
                return true;
            wire::LoginReply reply{good ? wire::Status::Ok : wire::Status::BadCredentials, {}};
            reply.info.fill(0x5A);
            Send(fd, wire::EncodeLoginReply(sequence, reply));
            return good;
        }
        if (const auto request = wire::DecodeConfigRequest(message, sequence)) {
            {
                std::lock_guard lock(m_mutex);
                ++m_counts.configs;
                m_counts.lastCommand = request->command;
                m_counts.lastChannel = request->channel;
            }
            if (!m_behaviour.configStatus)
                return true;
            wire::ConfigReply reply{*m_behaviour.configStatus, {}};
            if (reply.status == wire::Status::Ok)
                reply.block = m_behaviour.block;
            wire::Bytes bytes = wire::EncodeConfigReply(sequence, reply);
            if (m_behaviour.malformedConfig) {
                bytes.pop_back();
                const uint32_t length = static_cast<uint32_t>(bytes.size() - wire::kHeaderSize);
                std::memcpy(bytes.data() + 12, &length, 4);
            }
            Send(fd, bytes);
            return true;
        }
        if (const auto logout = wire::DecodeLogoutRequest(message)) {
            {
                std::lock_guard lock(m_mutex);
                ++m_counts.logouts;
            }
            Send(fd, wire::EncodeLogoutReply(*logout, wire::Status::Ok));
            return false;
        }
        return false;
    }

    Behaviour m_behaviour;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    Counts m_counts;
    std::map<int, wire::Bytes> m_connections;  // written by the responder thread only
    std::thread m_thread;
};

}  // namespace quorlin::netsdk::test
