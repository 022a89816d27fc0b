// The real quorlin-devsim, spoken to byte for byte over loopback: what each device answers,
// how its misbehaviours show on the wire, how a modify moves it, and what reaches the log.
// Each test plays its devices in a block 127.20.<n>.x of its own.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "AddressRules.h"
#include "DeviceRecord.h"
#include "DevsimProcess.h"
#include "RawSockets.h"
#include "SimulatorFixtures.h"
#include "Wire.h"

using namespace quorlin;
using namespace quorlin::test;
using namespace std::chrono_literals;

namespace {

std::string Device(const std::string& ip, const std::string& serial, const std::string& more = "",
                   const std::string& behaviour = "") {
    return DeviceText("IPC-T", ip, serial, more, behaviour);
}

// The records among `datagrams` that decode as replies to pass `passId`.
std::vector<DiscoveredDevice> Replies(const std::vector<wire::Bytes>& datagrams, uint32_t passId) {
    std::vector<DiscoveredDevice> records;
    for (const auto& datagram : datagrams) {
        uint32_t sequence = 0;
        if (auto record = wire::DecodeProbeReply(datagram, sequence);
            record && sequence == passId) {
            records.push_back(*record);
        }
    }
    return records;
}

std::multiset<std::string> Serials(const std::vector<DiscoveredDevice>& records) {
    std::multiset<std::string> serials;
    for (const auto& r : records)
        serials.emplace(FieldText(r.SN));
    return serials;
}

wire::Credentials Credentials(const std::string& user, const std::string& password) {
    wire::Credentials credentials;
    SetFieldText(reinterpret_cast<char(&)[32]>(*credentials.user.data()), user);
    SetFieldText(reinterpret_cast<char(&)[16]>(*credentials.password.data()), password);
    return credentials;
}

std::optional<wire::LoginReply> Login(RawTcp& tcp, const std::string& user,
                                      const std::string& password) {
    tcp.Send(wire::EncodeLoginRequest(1, Credentials(user, password)));
    const auto message = tcp.Read();
    uint32_t sequence = 0;
    return message ? wire::DecodeLoginReply(*message, sequence) : std::nullopt;
}

std::optional<wire::ConfigReply> Config(RawTcp& tcp, uint32_t command) {
    tcp.Send(wire::EncodeConfigRequest(2, {command, 0}));
    const auto message = tcp.Read();
    uint32_t sequence = 0;
    return message ? wire::DecodeConfigReply(*message, sequence) : std::nullopt;
}

// The status the device answers a modify with, or nullopt when it stays silent.
std::optional<wire::Status> Modify(const RawUdp& udp, uint16_t port, uint32_t id,
                                   const DiscoveredDevice& record,
                                   std::chrono::milliseconds quiet = 5000ms) {
    udp.Send(wire::EncodeModifyRequest(id, record), port);
    while (const auto datagram = udp.Next(quiet)) {
        uint32_t sequence = 0;
        if (const auto status = wire::DecodeModifyReply(*datagram, sequence);
            status && sequence == id) {
            return status;
        }
    }
    return std::nullopt;
}

DiscoveredDevice Discover(const RawUdp& udp, uint16_t port, uint32_t passId,
                          const std::string& serial) {
    udp.Send(wire::EncodeProbe(passId), port);
    for (const auto& record : Replies(udp.Collect(), passId)) {
        if (FieldText(record.SN) == serial)
            return record;
    }
    ADD_FAILURE() << serial << " not found in pass " << passId;
    return {};
}

}  // namespace

TEST(DevsimRaw, EachDeviceAnswersEachPassOnce) {
    DevsimProcess sim(Fleet(Device("127.20.1.2", "A") + Device("127.20.1.3", "B") +
                            Device("127.20.1.4", "C", "", "Duplicates=\"3\"")));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    EXPECT_EQ(sim.Devices(), 3);
    RawUdp udp;
    udp.Send(wire::EncodeProbe(7), sim.Port());
    auto records = Replies(udp.Collect(), 7);
    EXPECT_EQ(Serials(records), (std::multiset<std::string>{"A", "B", "C", "C", "C"}));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FieldText(records[0].Eth0.IP), "127.20.1.2");
    EXPECT_EQ(records[0].Port.Private, 34567);

    // A repeated probe of the same pass gets nothing; the next pass is answered again.
    udp.Send(wire::EncodeProbe(7), sim.Port());
    EXPECT_TRUE(udp.Collect().empty());
    udp.Send(wire::EncodeProbe(8), sim.Port());
    EXPECT_EQ(Replies(udp.Collect(), 8).size(), 5u);

    const auto probes = sim.Events("probe");
    ASSERT_EQ(probes.size(), 3u);
    ExpectLogged(probes, {{0, "repeat", "false"},
                          {0, "replies", "5"},
                          {1, "repeat", "true"},
                          {1, "replies", "0"},
                          {2, "pass", "8"}});
}

TEST(DevsimRaw, DelayedDeviceAnswersLastAndFloodIsDistinct) {
    DevsimProcess sim(Fleet(Device("127.20.2.2", "SLOW", "", "ReplyDelayMs=\"300\"") +
                            Device("127.20.2.3", "FAST") +
                            Device("127.20.2.4", "FLOOD", "", "Flood=\"200\"")));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawUdp udp;
    const auto sent = std::chrono::steady_clock::now();
    udp.Send(wire::EncodeProbe(1), sim.Port());
    const auto records = Replies(udp.Collect(1000ms), 1);
    ASSERT_EQ(records.size(), 202u);
    EXPECT_EQ(FieldText(records.back().SN), "SLOW");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
    std::set<std::string> flood;
    std::set<std::string> macs;
    for (const auto& r : records) {
        if (FieldText(r.SN).starts_with("FLOOD-")) {
            flood.emplace(FieldText(r.SN));
            macs.insert(MacText(r.Eth0.MAC));
        }
    }
    EXPECT_EQ(flood.size(), 200u);
    EXPECT_EQ(macs.size(), 200u);
    EXPECT_TRUE(flood.count("FLOOD-00000") && flood.count("FLOOD-00199"));
}

TEST(DevsimRaw, EveryMalformedKindFailsToDecode) {
    const char* kinds[] = {"short", "long",     "truncated", "magic",   "version",
                           "type",  "sequence", "status",    "garbage", "empty"};
    std::string devices = Device("127.20.3.2", "GOOD");
    for (int i = 0; i < 10; ++i) {
        devices += Device("127.20.3." + std::to_string(10 + i), std::string("BAD-") + kinds[i], "",
                          std::string("Malformed=\"") + kinds[i] + "\"");
    }
    DevsimProcess sim(Fleet(devices));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawUdp udp;
    udp.Send(wire::EncodeProbe(42), sim.Port());
    const auto datagrams = udp.Collect();
    EXPECT_EQ(datagrams.size(), 11u);  // the empty one arrives as an empty datagram
    const auto records = Replies(datagrams, 42);
    EXPECT_EQ(Serials(records), (std::multiset<std::string>{"GOOD"}));
    // Only the pass id tells the "sequence" reply apart; every other one fails to decode.
    int decodable = 0;
    for (const auto& d : datagrams) {
        uint32_t sequence = 0;
        if (wire::DecodeProbeReply(d, sequence)) {
            ++decodable;
            EXPECT_TRUE(sequence == 42 || sequence == 42 + 1000) << sequence;
        }
    }
    EXPECT_EQ(decodable, 2);
}

TEST(DevsimRaw, LoginConfigLogout) {
    DevsimProcess sim(
        Fleet(Device("127.20.4.2", "CAM", "",
                     "Sensor=\"IMX138\" SensorEntry=\"9\" LoginFailures=\"2\" ConfigFails=\"1\"") +
              Device("127.20.4.3", "PLAIN")));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    // LoginFailures: the first two logins are refused whatever they carry; each closes.
    for (int attempt = 0; attempt < 2; ++attempt) {
        RawTcp tcp("127.20.4.2", 34567);
        ASSERT_TRUE(tcp.Connected());
        const auto reply = Login(tcp, "admin", "pw");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, wire::Status::BadCredentials);
        EXPECT_TRUE(tcp.Closed());
    }
    {
        RawTcp tcp("127.20.4.2", 34567);
        EXPECT_EQ(Login(tcp, "admin", "wrong")->status, wire::Status::BadCredentials);
        EXPECT_TRUE(tcp.Closed());
    }
    RawTcp tcp("127.20.4.2", 34567);
    EXPECT_EQ(Config(tcp, 533)->status, wire::Status::NotLoggedIn);
    EXPECT_EQ(Login(tcp, "admin", "pw")->status, wire::Status::Ok);
    EXPECT_EQ(Config(tcp, 534)->status, wire::Status::UnknownCommand);
    EXPECT_EQ(Config(tcp, 533)->status, wire::Status::Busy);  // ConfigFails
    const auto block = Config(tcp, 533);
    ASSERT_TRUE(block);
    ASSERT_EQ(block->status, wire::Status::Ok);
    EXPECT_STREQ(block->block.Entry[9].Name, "SensorModel");
    EXPECT_STREQ(block->block.Entry[9].Value, "IMX138");
    for (int i = 0; i < 9; ++i) {
        EXPECT_STRNE(block->block.Entry[i].Name, "SensorModel");
        EXPECT_STRNE(block->block.Entry[i].Name, "");
    }
    tcp.Send(wire::EncodeLogoutRequest(3));
    const auto logout = tcp.Read();
    uint32_t sequence = 0;
    ASSERT_TRUE(logout);
    EXPECT_EQ(wire::DecodeLogoutReply(*logout, sequence), wire::Status::Ok);
    EXPECT_TRUE(tcp.Closed());

    // A device without a sensor serves no such entry.
    RawTcp plain("127.20.4.3", 34567);
    EXPECT_EQ(Login(plain, "admin", "pw")->status, wire::Status::Ok);
    const auto other = Config(plain, 533);
    ASSERT_TRUE(other);
    for (const auto& entry : other->block.Entry)
        EXPECT_STRNE(entry.Name, "SensorModel");

    const auto logins = sim.Events("login");
    ASSERT_EQ(logins.size(), 5u);
    ExpectLogged(logins, {{0, "forced", "true"},
                          {2, "password", "wrong"},
                          {2, "forced", "false"},
                          {3, "user", "admin"},
                          {3, "answer", "Ok"}});
    const auto configs = sim.Events("config");
    ASSERT_EQ(configs.size(), 5u);
    ExpectLogged(configs, {{0, "answer", "NotLoggedIn"},
                           {1, "command", "534"},
                           {2, "reason", "ConfigFails"},
                           {3, "answer", "Ok"}});
    EXPECT_EQ(sim.Events("logout").size(), 1u);
}

TEST(DevsimRaw, BadFramesAndSpoiltLoginRepliesEndTheConnection) {
    DevsimProcess sim(
        Fleet(Device("127.20.5.2", "A") +
              Device("127.20.5.3", "B", "", "Malformed=\"empty\" MalformedReply=\"Login\"") +
              Device("127.20.5.4", "C", "", "Malformed=\"magic\" MalformedReply=\"Login\"")));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    {
        RawTcp tcp("127.20.5.2", 34567);
        tcp.Send(wire::Bytes(16, 0xAB));
        EXPECT_TRUE(tcp.Closed());
    }
    {
        RawTcp tcp("127.20.5.2", 34567);
        tcp.Send(wire::EncodeProbe(1));  // a well-formed message that does not belong here
        EXPECT_TRUE(tcp.Closed());
    }
    {
        RawTcp tcp("127.20.5.3", 34567);
        EXPECT_FALSE(Login(tcp, "admin", "pw"));
        EXPECT_TRUE(tcp.Closed());
    }
    RawTcp tcp("127.20.5.4", 34567);
    tcp.Send(wire::EncodeLoginRequest(1, Credentials("admin", "pw")));
    const auto message = tcp.Read();
    ASSERT_TRUE(message);
    uint32_t sequence = 0;
    EXPECT_FALSE(wire::DecodeLoginReply(*message, sequence));
}

TEST(DevsimRaw, ModifyMovesTheDeviceAndIsReportedAtTheNextProbe) {
    DevsimProcess sim(Fleet(Device("127.20.6.2", "MOVER") + Device("127.20.6.3", "STAY") +
                            Device("127.20.6.4", "STUBBORN", "", "ModifyFails=\"1\"")));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawUdp udp;
    DiscoveredDevice record = Discover(udp, sim.Port(), 1, "MOVER");

    // Named by another MAC: nobody answers, nothing changes.
    DiscoveredDevice stranger = record;
    stranger.Eth0.MAC[5] ^= 1;
    SetFieldText(stranger.Eth0.IP, "127.20.6.9");
    EXPECT_FALSE(Modify(udp, sim.Port(), 10, stranger, 800ms));

    DiscoveredDevice change = record;
    SetFieldText(change.Eth0.IP, "127.20.6.20");
    SetFieldText(change.Eth0.Mask, "255.255.0.0");
    SetFieldText(change.Eth0.GW, "127.20.0.1");
    SetFieldText(change.Model, "ignored");
    EXPECT_EQ(Modify(udp, sim.Port(), 11, change), wire::Status::Ok);

    // The same request id again, even with other values: the same answer, nothing applied.
    DiscoveredDevice again = change;
    SetFieldText(again.Eth0.IP, "127.20.6.21");
    EXPECT_EQ(Modify(udp, sim.Port(), 11, again), wire::Status::Ok);

    const DiscoveredDevice now = Discover(udp, sim.Port(), 2, "MOVER");
    EXPECT_EQ(FieldText(now.Eth0.IP), "127.20.6.20");
    EXPECT_EQ(FieldText(now.Eth0.Mask), "255.255.0.0");
    EXPECT_EQ(FieldText(now.Eth0.GW), "127.20.0.1");
    EXPECT_EQ(FieldText(now.Model), "IPC-T");
    {
        RawTcp moved("127.20.6.20", 34567);
        ASSERT_TRUE(moved.Connected());
        EXPECT_EQ(Login(moved, "admin", "pw")->status, wire::Status::Ok);
        RawTcp old("127.20.6.2", 34567);
        EXPECT_FALSE(old.Connected());
    }

    // Refusals leave everything where it was.
    struct Refusal {
        const char* what;
        const char* ip;
        const char* mask;
    };
    const Refusal refusals[] = {
        {"outside loopback", "192.168.1.20", "255.255.255.0"},
        {"taken by another device", "127.20.6.3", "255.0.0.0"},
        {"not an address", "127.20.6.300", "255.0.0.0"},
        {"bad mask", "127.20.6.30", "255.255.0"},
    };
    uint32_t id = 20;
    for (const auto& refusal : refusals) {
        DiscoveredDevice bad = now;
        SetFieldText(bad.Eth0.IP, refusal.ip);
        SetFieldText(bad.Eth0.Mask, refusal.mask);
        EXPECT_EQ(Modify(udp, sim.Port(), id++, bad), wire::Status::Refused) << refusal.what;
    }
    EXPECT_EQ(FieldText(Discover(udp, sim.Port(), 3, "MOVER").Eth0.IP), "127.20.6.20");
    EXPECT_TRUE(RawTcp("127.20.6.20", 34567).Connected());

    // ModifyFails: the first request is refused, the next one applied.
    DiscoveredDevice stubborn = Discover(udp, sim.Port(), 4, "STUBBORN");
    SetFieldText(stubborn.Eth0.IP, "127.20.6.40");
    EXPECT_EQ(Modify(udp, sim.Port(), 30, stubborn), wire::Status::Refused);
    EXPECT_EQ(Modify(udp, sim.Port(), 31, stubborn), wire::Status::Ok);

    // The log holds every field received and the answer given.
    const auto modifies = sim.Events("modify");
    ASSERT_EQ(modifies.size(), 9u);
    ExpectLogged(modifies, {{0, "answer", "none"},
                            {1, "IP", "127.20.6.20"},
                            {1, "Mask", "255.255.0.0"},
                            {1, "Model", "ignored"},
                            {1, "P", "pw"},
                            {1, "moved", "true"},
                            {2, "repeated", "true"},
                            {3, "reason", "address outside 127.0.0.0/8"},
                            {7, "reason", "ModifyFails"}});
}

TEST(DevsimRaw, StartupRefusals) {
    TempDir dir;
    const std::string shared =
        dir.Write("shared.xml", Fleet(Device("127.20.7.2", "A") + Device("127.20.7.2", "B")));
    const std::string good = dir.Write("good.xml", Fleet(Device("127.20.7.2", "A")));
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* expected;
    };
    std::vector<Case> cases = {
        {"shared address", {"--fleet", shared, "--port", "0"}, "shares address and port"},
        {"missing file", {"--fleet", dir.Path() + "/none.xml", "--port", "0"}, "none.xml"},
        {"no fleet", {"--port", "0"}, "--fleet FILE or --demo"},
        {"both fleets", {"--demo", "--fleet", good}, "--fleet FILE or --demo"},
        {"bad port", {"--demo", "--port", "70000"}, "--port"},
        {"unknown switch", {"--demo", "--frobnicate"}, "unknown argument"},
        {"bad malformation", {"--demo", "--malformed", "odd"}, "unknown kind"},
        {"udp off loopback", {"--demo", "--port", "0", "--udp-address", "10.0.0.1"}, "127.0.0.0/8"},
        {"log not writable",
         {"--fleet", good, "--port", "0", "--log", "/nonexistent/dir/log"},
         "/nonexistent/dir/log"},
    };
    if (!devsim::InOwnNetworkNamespace()) {
        cases.push_back({"any address outside a test namespace",
                         {"--fleet", good, "--port", "0", "--allow-any-address"},
                         "only honoured inside a network namespace"});
    }
    for (const auto& c : cases) {
        const auto result = DevsimProcess::Run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.name << ": " << result.output;
        EXPECT_NE(result.output.find(c.expected), std::string::npos)
            << c.name << ": " << result.output;
    }
}

TEST(DevsimRaw, BusyPortsAreStartupErrors) {
    DevsimProcess first(Fleet(Device("127.20.8.2", "A")));
    ASSERT_TRUE(first.Ready()) << first.Error();
    TempDir dir;
    // The same discovery port, and the same control address on another discovery port.
    const auto sameUdp =
        DevsimProcess::Run({"--fleet", dir.Write("b.xml", Fleet(Device("127.20.8.3", "B"))),
                            "--port", std::to_string(first.Port())});
    EXPECT_EQ(sameUdp.exitCode, 2) << sameUdp.output;
    EXPECT_NE(sameUdp.output.find("discovery port"), std::string::npos) << sameUdp.output;
    const auto sameTcp = DevsimProcess::Run(
        {"--fleet", dir.Write("a.xml", Fleet(Device("127.20.8.2", "A"))), "--port", "0"});
    EXPECT_EQ(sameTcp.exitCode, 2) << sameTcp.output;
    EXPECT_NE(sameTcp.output.find("127.20.8.2:34567"), std::string::npos) << sameTcp.output;
}

TEST(DevsimRaw, SignalsEndItCleanly) {
    for (const int signal : {SIGTERM, SIGINT}) {
        DevsimProcess sim(Fleet(Device("127.20.9.2", "A")));
        ASSERT_TRUE(sim.Ready()) << sim.Error();
        EXPECT_EQ(sim.Stop(signal), 0);
    }
}

TEST(DevsimRaw, HelpNamesTheOptions) {
    const auto result = DevsimProcess::Run({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("--demo"), std::string::npos);
}
