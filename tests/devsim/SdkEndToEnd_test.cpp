// The real SDK against the real simulator on loopback: whole passes, stop, login with
// refusals, configuration read, logout, modify then rediscovery, spoilt replies of every
// kind, and 250 logins at once. Each test plays its devices in a block 127.21.<n>.x.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "DeviceRecord.h"
#include "DevsimProcess.h"
#include "SimulatorFixtures.h"
#include "ZQ_NetSDK.h"

using namespace quorlin::test;
using namespace std::chrono_literals;

namespace {

std::string Device(const std::string& ip, const std::string& serial,
                   const std::string& behaviour = "") {
    return DeviceText("IPC-E2E", ip, serial, "", behaviour);
}

// Collects the reports of a pass; also notices a callback entered while another runs.
struct Reports {
    std::mutex mutex;
    std::vector<DiscoveredDevice> records;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};

    static void Callback(const DiscoveredDevice* device, void* context) {
        auto& self = *static_cast<Reports*>(context);
        if (self.inside.fetch_add(1) != 0)
            self.overlapped = true;
        {
            std::lock_guard lock(self.mutex);
            self.records.push_back(*device);
        }
        self.inside.fetch_sub(1);
    }

    std::multiset<std::string> Serials() {
        std::lock_guard lock(mutex);
        std::multiset<std::string> serials;
        for (const auto& r : records)
            serials.emplace(FieldText(r.SN));
        return serials;
    }

    std::size_t Count() {
        std::lock_guard lock(mutex);
        return records.size();
    }

    void Clear() {
        std::lock_guard lock(mutex);
        records.clear();
    }
};

// Starts the simulator, then the SDK pointed at it; SDK settings given as NAME=value.
class SdkEndToEnd : public ::testing::Test {
protected:
    void Start(const std::string& fleet, std::map<std::string, std::string> settings = {}) {
        m_sim = std::make_unique<DevsimProcess>(fleet);
        ASSERT_TRUE(m_sim->Ready()) << m_sim->Error();
        for (const auto& [name, value] : settings) {
            ::setenv(name.c_str(), value.c_str(), 1);
            m_settings.push_back(name);
        }
        ZQ_NET_DVR_Init();
        ZQ_NET_DVR_SetDiscoveryCallBack(&Reports::Callback, &m_reports);
    }

    void TearDown() override {
        ZQ_NET_DVR_Cleanup();
        for (const auto& name : m_settings)
            ::unsetenv(name.c_str());
    }

    DevsimProcess& Sim() { return *m_sim; }

    std::unique_ptr<DevsimProcess> m_sim;
    std::vector<std::string> m_settings;
    Reports m_reports;
};

DiscoveredDevice Find(Reports& reports, const std::string& serial) {
    std::lock_guard lock(reports.mutex);
    for (const auto& r : reports.records) {
        if (FieldText(r.SN) == serial)
            return r;
    }
    ADD_FAILURE() << serial << " not reported";
    return {};
}

struct Session {
    int32_t handle = -1;
    bool config = false;
    ZQ_ConfigBlock block{};
};

Session LoginAndRead(const char* ip, uint16_t port, const char* user, const char* password) {
    Session session;
    uint8_t info[ZQ_LOGIN_INFO_SIZE] = {};
    session.handle = ZQ_NET_DVR_Login(ip, port, user, password, info);
    if (session.handle == -1)
        return session;
    uint32_t returned = 0;
    session.config = ZQ_NET_DVR_GetDVRConfig(session.handle, ZQ_NET_DVR_GET_PARAMETERS, 0,
                                             &session.block, sizeof session.block, &returned) != 0;
    ZQ_NET_DVR_Logout(session.handle);
    return session;
}

// A WaitForLog condition: `count` logouts have reached the log.
std::function<bool(const std::vector<std::string>&)> LogoutsLogged(int count) {
    return [count](const std::vector<std::string>& lines) {
        int logouts = 0;
        for (const auto& l : lines)
            logouts += JsonField(l, "event") == "logout";
        return logouts == count;
    };
}

const char* kMalformations[] = {"short", "long",     "truncated", "magic",   "version",
                                "type",  "sequence", "status",    "garbage", "empty"};

}  // namespace

TEST_F(SdkEndToEnd, FleetOf250IsFoundWhole) {
    Start("<Fleet><Generate Type=\"IPC\" Count=\"250\" FirstIP=\"127.21.1.1\" /></Fleet>");
    for (int pass = 0; pass < 2; ++pass) {
        m_reports.Clear();
        ZQ_NET_DVR_StartDiscoveryIPC();
        const auto serials = m_reports.Serials();
        EXPECT_EQ(serials.size(), 250u) << "pass " << pass;
        EXPECT_EQ(std::set<std::string>(serials.begin(), serials.end()).size(), 250u);
    }
    EXPECT_FALSE(m_reports.overlapped);
    const DiscoveredDevice first = Find(m_reports, "IPC021001001");
    EXPECT_EQ(FieldText(first.Eth0.IP), "127.21.1.1");
    EXPECT_EQ(FieldText(first.Model), "IPC-SIM");
}

TEST_F(SdkEndToEnd, StopCutsAPassShort) {
    // With a long quiet time a pass would last ten seconds; stop ends it at once.
    Start(Fleet(Device("127.21.2.2", "A")),
          {{"ZQ_NETSDK_QUIET_MS", "10000"}, {"ZQ_NETSDK_PASS_MS", "20000"}});
    const auto begin = std::chrono::steady_clock::now();
    std::thread pass([] { ZQ_NET_DVR_StartDiscoveryIPC(); });
    const auto deadline = begin + 8s;
    while (m_reports.Count() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(m_reports.Count(), 1u);
    ZQ_NET_DVR_StopDiscoveryIPC();
    pass.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 8s);
    // Harmless when nothing runs.
    ZQ_NET_DVR_StopDiscoveryIPC();
}

TEST_F(SdkEndToEnd, LoginAfterRefusalsReadsTheSensorAndLogsOut) {
    Start(Fleet(
        Device("127.21.3.2", "0262CAM", "Sensor=\"OV9712\" SensorEntry=\"4\" LoginFailures=\"2\"") +
        Device("127.21.3.3", "FLAKY", "Sensor=\"IMX238\" ConfigFails=\"1\"")));
    uint8_t info[ZQ_LOGIN_INFO_SIZE] = {};
    EXPECT_EQ(ZQ_NET_DVR_Login("127.21.3.2", 34567, "admin", "pw", info), -1);
    EXPECT_EQ(ZQ_NET_DVR_Login("127.21.3.2", 34567, "admin", "pw", info), -1);
    const Session session = LoginAndRead("127.21.3.2", 34567, "admin", "pw");
    ASSERT_NE(session.handle, -1);
    ASSERT_TRUE(session.config);
    EXPECT_STREQ(session.block.Entry[4].Name, "SensorModel");
    EXPECT_STREQ(session.block.Entry[4].Value, "OV9712");
    EXPECT_EQ(LoginAndRead("127.21.3.2", 34567, "admin", "nope").handle, -1);

    // ConfigFails: the first read fails, the next one on a new login succeeds.
    EXPECT_FALSE(LoginAndRead("127.21.3.3", 34567, "admin", "pw").config);
    const Session second = LoginAndRead("127.21.3.3", 34567, "admin", "pw");
    ASSERT_TRUE(second.config);
    EXPECT_STREQ(second.block.Entry[0].Value, "IMX238");

    ASSERT_TRUE(Sim().WaitForLog(LogoutsLogged(3))) << "three logouts";
    const auto logins = Sim().Events("login");
    ASSERT_EQ(logins.size(), 6u);
    ExpectLogged(logins, {{0, "forced", "true"},
                          {1, "forced", "true"},
                          {2, "answer", "Ok"},
                          {2, "user", "admin"},
                          {2, "password", "pw"},
                          {3, "answer", "BadCredentials"}});
    const auto configs = Sim().Events("config");
    ASSERT_EQ(configs.size(), 3u);
    ExpectLogged(configs, {{0, "command", "533"}, {0, "channel", "0"}});
}

TEST_F(SdkEndToEnd, ModifyThenRediscovery) {
    Start(Fleet(Device("127.21.4.2", "MOVER") + Device("127.21.4.3", "OTHER")));
    ZQ_NET_DVR_StartDiscoveryIPC();
    DiscoveredDevice record = Find(m_reports, "MOVER");

    DiscoveredDevice refused = record;
    SetFieldText(refused.Eth0.IP, "192.168.1.64");
    EXPECT_EQ(ZQ_NET_DVR_ModifyIPC(&refused), 0);

    SetFieldText(record.Eth0.IP, "127.21.4.99");
    SetFieldText(record.Eth0.Mask, "255.255.255.0");
    SetFieldText(record.Eth0.GW, "127.21.4.1");
    EXPECT_NE(ZQ_NET_DVR_ModifyIPC(&record), 0);

    m_reports.Clear();
    ZQ_NET_DVR_StartDiscoveryIPC();
    const DiscoveredDevice moved = Find(m_reports, "MOVER");
    EXPECT_EQ(FieldText(moved.Eth0.IP), "127.21.4.99");
    EXPECT_EQ(FieldText(moved.Eth0.Mask), "255.255.255.0");
    EXPECT_EQ(FieldText(moved.Eth0.GW), "127.21.4.1");
    EXPECT_EQ(FieldText(Find(m_reports, "OTHER").Eth0.IP), "127.21.4.3");
    EXPECT_NE(LoginAndRead("127.21.4.99", 34567, "admin", "pw").handle, -1);
    EXPECT_EQ(LoginAndRead("127.21.4.2", 34567, "admin", "pw").handle, -1);

    // Each request reached the device once with the whole record; repeats are answered
    // from memory, never applied twice.
    std::map<std::string, std::string> answers;
    for (const auto& line : Sim().Events("modify")) {
        if (JsonField(line, "repeated") == "true")
            continue;
        answers[*JsonField(line, "IP")] = *JsonField(line, "answer");
        EXPECT_EQ(JsonField(line, "SN"), "MOVER");
        EXPECT_EQ(JsonField(line, "U"), "admin");
    }
    EXPECT_EQ(answers, (std::map<std::string, std::string>{{"192.168.1.64", "Refused"},
                                                           {"127.21.4.99", "Ok"}}));
}

TEST_F(SdkEndToEnd, SpoiltProbeRepliesAreDropped) {
    std::string devices = Device("127.21.5.2", "GOOD");
    for (int i = 0; i < 10; ++i) {
        devices +=
            Device("127.21.5." + std::to_string(10 + i), std::string("BAD-") + kMalformations[i],
                   std::string("Malformed=\"") + kMalformations[i] + "\"");
    }
    Start(Fleet(devices));
    ZQ_NET_DVR_StartDiscoveryIPC();
    EXPECT_EQ(m_reports.Serials(), (std::multiset<std::string>{"GOOD"}));
}

TEST_F(SdkEndToEnd, SpoiltSessionAndModifyRepliesFail) {
    // One device per kind and reply; a short timeout keeps silent kinds quick.
    std::string devices;
    const char* replies[] = {"Login", "Config", "Modify"};
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; i < 10; ++i) {
            devices += Device("127.21." + std::to_string(6 + r) + "." + std::to_string(10 + i),
                              std::string(replies[r]) + "-" + kMalformations[i],
                              std::string("Malformed=\"") + kMalformations[i] +
                                  "\" MalformedReply=\"" + replies[r] + "\"");
        }
    }
    Start(Fleet(devices), {{"ZQ_NETSDK_TIMEOUT_MS", "600"}});
    ZQ_NET_DVR_StartDiscoveryIPC();
    ASSERT_EQ(m_reports.Count(), 30u);
    for (int i = 0; i < 10; ++i) {
        const std::string kind = kMalformations[i];
        const std::string login = "127.21.6." + std::to_string(10 + i);
        EXPECT_EQ(LoginAndRead(login.c_str(), 34567, "admin", "pw").handle, -1) << "Login " << kind;
        const std::string config = "127.21.7." + std::to_string(10 + i);
        const Session session = LoginAndRead(config.c_str(), 34567, "admin", "pw");
        EXPECT_NE(session.handle, -1) << "Config " << kind;
        EXPECT_FALSE(session.config) << "Config " << kind;
        DiscoveredDevice record = Find(m_reports, "Modify-" + kind);
        SetFieldText(record.Eth0.Mask, "255.255.0.0");
        EXPECT_EQ(ZQ_NET_DVR_ModifyIPC(&record), 0) << "Modify " << kind;
    }
}

TEST_F(SdkEndToEnd, TwoHundredFiftyLoginsAtOnce) {
    Start(
        "<Fleet><Generate Type=\"IPC\" Count=\"250\" FirstIP=\"127.21.10.1\" SNPrefix=\"0262\">"
        "<User U=\"admin\" P=\"pw\" /><Behaviour Sensor=\"IMX138\" SensorEntry=\"7\" "
        "/></Generate></Fleet>");
    ZQ_NET_DVR_StartDiscoveryIPC();
    std::vector<DiscoveredDevice> devices;
    {
        std::lock_guard lock(m_reports.mutex);
        devices = m_reports.records;
    }
    ASSERT_EQ(devices.size(), 250u);
    std::atomic<int> labelled{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (const auto& device : devices) {
        threads.emplace_back([&, device] {
            while (!go)
                std::this_thread::yield();
            const Session s =
                LoginAndRead(device.Eth0.IP, device.Port.Private, device.User.U, device.User.P);
            if (s.config && std::string_view(s.block.Entry[7].Value) == "IMX138")
                ++labelled;
        });
    }
    go = true;
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(labelled, 250);
    EXPECT_TRUE(Sim().WaitForLog(LogoutsLogged(250)));
}

TEST_F(SdkEndToEnd, ScanPrintsTheTenColumns) {
    Start(Fleet(
        "<Device><Eth0 IP=\"127.21.11.2\" Mask=\"255.0.0.0\" GW=\"127.0.0.1\" "
        "MAC=\"00:1A:2B:3C:4D:5E\" />"
        "<Port Private=\"34567\" Http=\"8080\" Rtsp=\"65535\" /><SN A=\"0262SCAN\" />"
        "<Model A=\"IPC-SCAN\" /><Version Major=\"3\" Minor=\"2\" />"
        "<BuildDate Year=\"2015\" Month=\"1\" Day=\"20\" /></Device>"
        "<Device><Eth0 IP=\"127.21.11.3\" /><SN A=\"TAB&#9;HERE\" /><Model A=\"NVR\" /></Device>"));
    const auto plain = DevsimProcess::RunProgram("quorlin-scan", {});
    EXPECT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_NE(plain.output.find("0262SCAN\tIPC-SCAN\t00:1a:2b:3c:4d:5e\t127.21.11.2\t255.0.0.0\t"
                                "127.0.0.1\t34567\t8080\t65535\tV3.2 build 2015-01-20\n"),
              std::string::npos)
        << plain.output;
    // A control character inside a field does not split the columns.
    EXPECT_NE(plain.output.find("TAB HERE\tNVR\t"), std::string::npos) << plain.output;
    EXPECT_NE(plain.output.find("found 2\n"), std::string::npos) << plain.output;

    const auto json = DevsimProcess::RunProgram("quorlin-scan", {"--json"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.output.find(
                  "{\"SN\":\"0262SCAN\",\"Model\":\"IPC-SCAN\",\"MAC\":\"00:1a:2b:3c:4d:5e\","
                  "\"LocalIP\":\"127.21.11.2\",\"NetMask\":\"255.0.0.0\",\"Gateway\":\"127.0.0.1\","
                  "\"ControlPort\":\"34567\",\"HttpPort\":\"8080\",\"RtspPort\":\"65535\","
                  "\"Version\":\"V3.2 build 2015-01-20\"}"),
              std::string::npos)
        << json.output;
    // The tab stays inside its JSON string, escaped.
    EXPECT_NE(json.output.find("\"SN\":\"TAB\\tHERE\""), std::string::npos) << json.output;
    EXPECT_NE(json.output.find("{\"found\":2}"), std::string::npos);
}

// Inside a network namespace of the test's own, --allow-any-address lets devices sit outside
// loopback; the SDK and quorlin-scan find them there. Nothing leaves the namespace.
TEST(DevsimNamespace, AnyAddressInsideATestNamespace) {
    if (::geteuid() != 0 || ::access("/usr/bin/unshare", X_OK) != 0) {
        GTEST_SKIP() << "needs root and unshare to make a network namespace";
    }
    // The simulator tells a test namespace from the machine's by process 1's namespace.
    if (::access("/proc/1/ns/net", F_OK) != 0 && errno == EACCES) {
        GTEST_SKIP() << "process 1's network namespace cannot be read here";
    }
    TempDir dir;
    const std::string fleet =
        dir.Write("fleet.xml",
                  Fleet("<Device><Eth0 IP=\"10.77.0.2\" Mask=\"255.255.255.0\" GW=\"10.77.0.1\" />"
                        "<SN A=\"NS-CAM\" /><Model A=\"IPC-NS\" /></Device>"));
    const std::string bin = DevsimProcess::BinDir();
    const std::string script =
        "set -e\n"
        "ip link set lo up\n"
        "ip addr add 10.77.0.1/24 dev lo\n"
        "ip addr add 10.77.0.2/24 dev lo\n"
        "'" +
        bin + "/quorlin-devsim' --fleet '" + fleet +
        "' --port 41894 --udp-address 10.77.0.1 "
        "--allow-any-address > '" +
        dir.Path() +
        "/ready' &\n"
        "sim=$!\n"
        "for i in $(seq 1 600); do grep -q ready '" +
        dir.Path() +
        "/ready' && break; sleep 0.05; done\n"
        "ZQ_NETSDK_TARGETS=10.77.0.1:41894 '" +
        bin +
        "/quorlin-scan'\n"
        "kill $sim\n"
        "wait $sim\n";
    const auto result =
        DevsimProcess::RunProgram("/usr/bin/unshare", {"-n", "sh", "-c", script}, 60s);
    if (result.output.find("Operation not permitted") != std::string::npos) {
        GTEST_SKIP() << "network namespaces are not allowed here: " << result.output;
    }
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(
                  "NS-CAM\tIPC-NS\t02:51:0a:4d:00:02\t10.77.0.2\t255.255.255.0\t10.77.0.1\t"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("found 1\n"), std::string::npos) << result.output;
}
