// Fleet files: every element and attribute, defaults, generated devices, recorded nodes, and
// the files that must be refused with a message saying where.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "DemoFleet.h"
#include "DeviceRecord.h"
#include "DevsimProcess.h"
#include "FleetLoader.h"
#include "Options.h"
#include "SimulatorFixtures.h"

using namespace quorlin::devsim;
using quorlin::test::Fleet;

namespace {

FleetResult Load(const std::string& xml, bool allowAny = false) {
    return LoadFleetText(xml, FleetOptions{allowAny});
}

}  // namespace

TEST(Fleet, FullDeviceTakesEveryField) {
    const auto result = Load(Fleet(R"(
        <Device>
            <Eth0 IP="127.30.0.2" Mask="255.255.255.0" GW="127.30.0.1" DNS1="1.1.1.1" DNS2="9.9.9.9" MAC="00:1A:2b:3c:4d:5e" />
            <Wifi IP="127.31.0.2" Mask="255.0.0.0" GW="" DNS1="" DNS2="" MAC="01:02:03:04:05:06" />
            <G3 IP="" Mask="" GW="" DNS1="" DNS2="" MAC="" />
            <Port Private="34567" Http="8080" Rtsp="65535" />
            <SN A="0262ABC" />
            <User U="admin" P="pw" />
            <Model A="IPC-HX1100" />
            <Version Major="2" Minor="10" />
            <BuildDate Year="2014" Month="7" Day="5" />
            <Behaviour Sensor="IMX138" SensorEntry="9" LoginFailures="2" ConfigFails="1"
                       ModifyFails="3" ReplyDelayMs="40" Duplicates="2" Malformed="magic"
                       MalformedReply="Config" />
        </Device>)"));
    ASSERT_TRUE(result.Ok()) << result.error;
    ASSERT_EQ(result.devices.size(), 1u);
    const DeviceSpec& d = result.devices[0];
    EXPECT_EQ(FieldText(d.record.Eth0.IP), "127.30.0.2");
    EXPECT_EQ(FieldText(d.record.Eth0.Mask), "255.255.255.0");
    EXPECT_EQ(FieldText(d.record.Eth0.GW), "127.30.0.1");
    EXPECT_EQ(FieldText(d.record.Eth0.DNS1), "1.1.1.1");
    EXPECT_EQ(FieldText(d.record.Eth0.DNS2), "9.9.9.9");
    EXPECT_EQ(MacText(d.record.Eth0.MAC), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(FieldText(d.record.Wifi.IP), "127.31.0.2");
    EXPECT_EQ(MacText(d.record.Wifi.MAC), "01:02:03:04:05:06");
    EXPECT_EQ(MacText(d.record.G3.MAC), "00:00:00:00:00:00");
    EXPECT_EQ(d.record.Port.Private, 34567);
    EXPECT_EQ(d.record.Port.Http, 8080);
    EXPECT_EQ(d.record.Port.Rtsp, 65535);
    EXPECT_EQ(FieldText(d.record.SN), "0262ABC");
    EXPECT_EQ(FieldText(d.record.User.U), "admin");
    EXPECT_EQ(FieldText(d.record.User.P), "pw");
    EXPECT_EQ(FieldText(d.record.Model), "IPC-HX1100");
    EXPECT_EQ(VersionText(d.record), "V2.10 build 2014-07-05");
    EXPECT_EQ(d.behaviour.sensor, "IMX138");
    EXPECT_EQ(d.behaviour.sensorEntry, 9);
    EXPECT_EQ(d.behaviour.loginFailures, 2);
    EXPECT_EQ(d.behaviour.configFails, 1);
    EXPECT_EQ(d.behaviour.modifyFails, 3);
    EXPECT_EQ(d.behaviour.replyDelayMs, 40);
    EXPECT_EQ(d.behaviour.duplicates, 2);
    EXPECT_EQ(d.behaviour.malformed, Malformation::Magic);
    EXPECT_EQ(d.behaviour.malformedReply, ReplyKind::Config);
}

TEST(Fleet, BehaviourAsChildElementsAndDefaults) {
    const auto result = Load(Fleet(R"(
        <Device><Eth0 IP="127.30.0.2" /><Behaviour><Sensor>OV9712</Sensor><Flood>5</Flood></Behaviour></Device>
        <Device><Eth0 IP="127.30.0.3" /></Device>)"));
    ASSERT_TRUE(result.Ok()) << result.error;
    ASSERT_EQ(result.devices.size(), 2u);
    EXPECT_EQ(result.devices[0].behaviour.sensor, "OV9712");
    EXPECT_EQ(result.devices[0].behaviour.flood, 5);
    const DeviceSpec& plain = result.devices[1];
    EXPECT_FALSE(plain.behaviour.sensor.has_value());
    EXPECT_EQ(plain.behaviour.duplicates, 1);
    EXPECT_EQ(plain.behaviour.malformed, Malformation::None);
    // Defaults: a usable, unique device from an address alone.
    EXPECT_EQ(FieldText(plain.record.Eth0.Mask), "255.0.0.0");
    EXPECT_EQ(FieldText(plain.record.Eth0.GW), "127.0.0.1");
    EXPECT_EQ(FieldText(plain.record.Eth0.DNS1), "127.0.0.1");
    EXPECT_EQ(FieldText(plain.record.Eth0.DNS2), "127.0.0.1");
    EXPECT_EQ(plain.record.Port.Private, 8000);
    EXPECT_EQ(FieldText(plain.record.SN), "SIM030000003");
    EXPECT_EQ(MacText(plain.record.Eth0.MAC), "02:51:7f:1e:00:03");
    EXPECT_EQ(FieldText(plain.record.Model), "IPC-SIM");
}

TEST(Fleet, GenerateMakesDistinctDevices) {
    const auto result = Load(Fleet(R"(
        <Device><Eth0 IP="127.30.0.1" /></Device>
        <Generate Type="DVR" Count="300" FirstIP="127.30.1.250">
            <Port Private="9000" Http="81" Rtsp="555" />
            <User U="op" P="x" />
            <Behaviour LoginFailures="1" />
        </Generate>
        <Generate Type="IPC" Count="2" FirstIP="127.30.9.1" SNPrefix="0262"><Model A="IPC-CAM" /></Generate>)"));
    ASSERT_TRUE(result.Ok()) << result.error;
    ASSERT_EQ(result.devices.size(), 303u);
    const DeviceSpec& first = result.devices[1];
    EXPECT_EQ(FieldText(first.record.Eth0.IP), "127.30.1.250");
    EXPECT_EQ(FieldText(first.record.Model), "DVR-SIM");
    EXPECT_EQ(FieldText(first.record.SN), "DVR030001250");
    EXPECT_EQ(first.record.Port.Private, 9000);
    EXPECT_EQ(FieldText(first.record.User.U), "op");
    EXPECT_EQ(first.behaviour.loginFailures, 1);
    // .255 and .0 are skipped when the count runs over a /24.
    EXPECT_EQ(FieldText(result.devices[5].record.Eth0.IP), "127.30.1.254");
    EXPECT_EQ(FieldText(result.devices[6].record.Eth0.IP), "127.30.2.1");
    EXPECT_EQ(FieldText(result.devices[301].record.SN), "0262030009001");
    EXPECT_EQ(FieldText(result.devices[302].record.Model), "IPC-CAM");
}

TEST(Fleet, RecordedNodesPlayTheirDevices) {
    // A Node pasted into a Device, a Node standing in the fleet, and a whole recorded file.
    const std::string node = R"(<Node>
        <Eth0 IP="127.30.0.9" Mask="255.255.0.0" GW="127.30.0.1" DNS1="" DNS2="" MAC="00:1a:2b:3c:4d:5e" />
        <Wifi IP="" Mask="" GW="" DNS1="" DNS2="" MAC="00:00:00:00:00:00" />
        <G3 IP="" Mask="" GW="" DNS1="" DNS2="" MAC="00:00:00:00:00:00" />
        <Port Private="34567" Http="80" Rtsp="554" />
        <SN A="0262XYZ" /><User U="admin" P="" /><Model A="IPC-X" /></Node>)";
    for (const std::string& xml :
         {Fleet("<Device>" + node + "<Behaviour Sensor=\"OV9712\" /></Device>"), Fleet(node)}) {
        const auto result = Load(xml);
        ASSERT_TRUE(result.Ok()) << result.error;
        ASSERT_EQ(result.devices.size(), 1u);
        EXPECT_EQ(FieldText(result.devices[0].record.SN), "0262XYZ");
        EXPECT_EQ(FieldText(result.devices[0].record.User.P), "");
        EXPECT_EQ(result.devices[0].record.Port.Private, 34567);
    }
    const std::string recorded =
        std::string(std::getenv("QUORLIN_TEST_DATA")) + "/devsim/Discovery.Xml";
    const auto result = LoadFleetFile(recorded, {});
    ASSERT_TRUE(result.Ok()) << result.error;
    ASSERT_EQ(result.devices.size(), 2u);
    EXPECT_EQ(FieldText(result.devices[0].record.User.P), "s&cret");
    EXPECT_EQ(result.devices[0].record.Port.Rtsp, 65535);
    EXPECT_EQ(MacText(result.devices[1].record.Eth0.MAC), "ab:cd:ef:01:02:03");
    EXPECT_EQ(FieldText(result.devices[1].record.Wifi.IP), "10.1.2.3");
}

TEST(Fleet, TextOfFullWidthHasNoTerminator) {
    const std::string serial(48, 'S');
    const auto result =
        Load(Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><SN A=\"" + serial + "\" /></Device>"));
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(FieldText(result.devices[0].record.SN), serial);
}

TEST(Fleet, BadFilesAreRefusedWithTheReason) {
    struct Case {
        const char* name;
        std::string xml;
        const char* expected;  // part of the message
    };
    const Case cases[] = {
        {"not xml", "<Fleet><Device>", "not well-formed"},
        {"wrong root", "<Devices />", "root element must be Fleet"},
        {"empty fleet", "<Fleet />", "no devices"},
        {"unknown element", Fleet("<Gadget />"), "unknown element"},
        {"no address", Fleet("<Device><Port Private=\"1\" /></Device>"), "Eth0 needs an IP"},
        {"bad address", Fleet("<Device><Eth0 IP=\"127.0.0.256\" /></Device>"), "Eth0 needs an IP"},
        {"outside loopback", Fleet("<Device><Eth0 IP=\"192.168.1.10\" /></Device>"),
         "outside 127.0.0.0/8"},
        {"shared endpoint",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /></Device><Device><Eth0 IP=\"127.30.0.2\" "
               "/></Device>"),
         "shares address and port"},
        {"same identity",
         Fleet(
             "<Device><Eth0 IP=\"127.30.0.2\" MAC=\"00:00:00:00:00:01\" /><SN A=\"X\" /></Device>"
             "<Device><Eth0 IP=\"127.30.0.3\" MAC=\"00:00:00:00:00:01\" /><SN A=\"X\" /></Device>"),
         "serial number and MAC"},
        {"port zero", Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Port Private=\"0\" /></Device>"),
         "must not be 0"},
        {"port not a number",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Port Private=\"80x\" /></Device>"), "Private"},
        {"port too large",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Port Private=\"65536\" /></Device>"), "Private"},
        {"bad mac", Fleet("<Device><Eth0 IP=\"127.30.0.2\" MAC=\"00:11:22:33:44\" /></Device>"),
         "MAC"},
        {"text too long",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Model A=\"" + std::string(33, 'M') +
               "\" /></Device>"),
         "longer than 32"},
        {"misspelt attribute", Fleet("<Device><Eth0 IP=\"127.30.0.2\" Gateway=\"x\" /></Device>"),
         "unknown attribute Gateway"},
        {"sensor entry 10",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour SensorEntry=\"10\" /></Device>"),
         "SensorEntry"},
        {"negative failures",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour LoginFailures=\"-1\" /></Device>"),
         "LoginFailures"},
        {"zero duplicates",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour Duplicates=\"0\" /></Device>"),
         "Duplicates"},
        {"flood too large",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour Flood=\"10001\" /></Device>"),
         "Flood"},
        {"unknown malformation",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour Malformed=\"weird\" /></Device>"),
         "unknown kind"},
        {"unknown malformed reply",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour MalformedReply=\"Hello\" /></Device>"),
         "MalformedReply: unknown reply 'Hello'"},
        {"unknown behaviour",
         Fleet("<Device><Eth0 IP=\"127.30.0.2\" /><Behaviour Sleepy=\"1\" /></Device>"),
         "unknown behaviour Sleepy"},
        {"generate without count", Fleet("<Generate Type=\"IPC\" FirstIP=\"127.30.0.2\" />"),
         "Count"},
        {"generate count zero",
         Fleet("<Generate Type=\"IPC\" Count=\"0\" FirstIP=\"127.30.0.2\" />"), "Count"},
        {"generate without type", Fleet("<Generate Count=\"2\" FirstIP=\"127.30.0.2\" />"), "Type"},
        {"generate bad first", Fleet("<Generate Type=\"IPC\" Count=\"2\" FirstIP=\"x\" />"),
         "FirstIP"},
        {"generate leaves loopback",
         Fleet("<Generate Type=\"IPC\" Count=\"3\" FirstIP=\"127.255.255.253\" />"),
         "outside 127.0.0.0/8"},
        {"generate with ip",
         Fleet("<Generate Type=\"IPC\" Count=\"2\" FirstIP=\"127.30.0.2\"><Eth0 IP=\"127.30.0.9\" "
               "/></Generate>"),
         "FirstIP"},
    };
    for (const auto& c : cases) {
        const auto result = Load(c.xml);
        EXPECT_FALSE(result.Ok()) << c.name;
        EXPECT_NE(result.error.find(c.expected), std::string::npos)
            << c.name << ": " << result.error;
        EXPECT_TRUE(result.devices.empty()) << c.name;
    }
}

TEST(Fleet, AnyAddressOnlyWhenAllowed) {
    const std::string xml = Fleet("<Device><Eth0 IP=\"10.200.0.2\" /></Device>");
    EXPECT_FALSE(Load(xml).Ok());
    EXPECT_TRUE(Load(xml, true).Ok());
}

TEST(Fleet, MissingFileNamesThePath) {
    const auto result = LoadFleetFile("/nonexistent/fleet.xml", {});
    EXPECT_NE(result.error.find("/nonexistent/fleet.xml"), std::string::npos);
}

TEST(Fleet, DemoFleetHasEveryTypeAndTwoSensorCameras) {
    const auto result = LoadFleetText(kDemoFleet, {});
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_GE(result.devices.size(), 10u);
    int types[5] = {};
    std::vector<std::string> sensors;
    for (const auto& d : result.devices) {
        ++types[static_cast<int>(DeviceTypeOf(d.record))];
        if (DeviceTypeOf(d.record) == DeviceType::IPC && SerialPrefix(d.record) == "0262" &&
            d.behaviour.sensor) {
            sensors.push_back(*d.behaviour.sensor);
        }
    }
    EXPECT_EQ(types[static_cast<int>(DeviceType::Unknown)], 0);
    for (auto type : {DeviceType::IPC, DeviceType::DVR, DeviceType::DEC, DeviceType::NVR}) {
        EXPECT_GT(types[static_cast<int>(type)], 0);
    }
    EXPECT_EQ(sensors, (std::vector<std::string>{"OV9712", "IMX138"}));
}

TEST(Options, CommandLineSwitches) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--fleet", "f.xml", "--port", "0", "--log", "l", "--malformed",
                              "truncated:Config", "--flood", "7"},
                             options, error))
        << error;
    EXPECT_EQ(options.fleetPath, "f.xml");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.logPath, "l");
    EXPECT_EQ(options.malformed, Malformation::Truncated);
    EXPECT_EQ(options.malformedReply, ReplyKind::Config);

    std::vector<DeviceSpec> fleet(2);
    fleet[1].behaviour.malformed = Malformation::Magic;
    ApplyOverrides(options, fleet);
    for (const auto& device : fleet) {
        EXPECT_EQ(device.behaviour.malformed, Malformation::Truncated);
        EXPECT_EQ(device.behaviour.malformedReply, ReplyKind::Config);
        EXPECT_EQ(device.behaviour.flood, 7);
    }

    Options defaults;
    ASSERT_TRUE(ParseOptions({"--demo"}, defaults, error)) << error;
    EXPECT_EQ(defaults.port, 41894);
    EXPECT_EQ(defaults.udpAddress, "127.0.0.1");
    EXPECT_FALSE(defaults.allowAnyAddress);
    EXPECT_EQ(defaults.malformed, std::nullopt);

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--demo", "--fleet", "f"},
        {"--fleet"},
        {"--demo", "--port", "-1"},
        {"--demo", "--port", "8o"},
        {"--demo", "--flood", "10001"},
        {"--demo", "--malformed", "magic:Hello"},
        {"--demo", "--verbose"},
    };
    for (const auto& arguments : bad) {
        Options rejected;
        std::string why;
        EXPECT_FALSE(ParseOptions(arguments, rejected, why)) << arguments.size();
        EXPECT_FALSE(why.empty());
    }
}
