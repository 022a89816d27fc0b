#include "DiscoveryDocument.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "quorlin-doc-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path DataFile(const char* name) {
    const char* root = std::getenv("QUORLIN_TEST_DATA");
    return fs::path(root != nullptr ? root : "tests/data") / "discovery" / name;
}

unsigned FileMode(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

std::vector<std::string> DirectoryNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
    return names;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Copies `text` into a field without adding a terminator, so a full-width text has none.
template <std::size_t N>
void Put(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

void PutInterface(NetInterface& net, const char* ip, const char* mask, const char* gw,
                  const char* dns1, const char* dns2, std::initializer_list<uint8_t> mac) {
    Put(net.IP, ip);
    Put(net.Mask, mask);
    Put(net.GW, gw);
    Put(net.DNS1, dns1);
    Put(net.DNS2, dns2);
    std::copy(mac.begin(), mac.end(), net.MAC);
}

DiscoveredDevice Camera(const char* ip) {
    DiscoveredDevice device;
    std::memset(&device, 0x5C, sizeof device);  // reserved bytes the document never holds
    PutInterface(device.Eth0, ip, "255.0.0.0", "127.0.0.1", "127.0.0.53", "0.0.0.0",
                 {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0xab});
    PutInterface(device.Wifi, "127.0.1.2", "255.255.255.0", "", "", "", {2, 0, 0, 0, 0, 1});
    PutInterface(device.G3, "", "", "", "", "", {0, 0, 0, 0, 0, 0});
    device.Port.Private = 8000;
    device.Port.Http = 80;
    device.Port.Rtsp = 554;
    Put(device.SN, "0262ABC0001");
    Put(device.User.U, "admin");
    Put(device.User.P, "12345");
    Put(device.Model, "IPC-HD2");
    device.Version = (2u << 16) | 10;
    device.BuildDate = (2014u << 16) | (7u << 8) | 5;
    return device;
}

DiscoveredDevice Recorder() {
    DiscoveredDevice device{};
    PutInterface(device.Eth0, "127.0.0.9", "255.255.255.255", "127.0.0.1", "127.0.0.1", "127.0.0.1",
                 {0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
    device.Port.Private = 0;
    device.Port.Http = 65535;
    device.Port.Rtsp = 65535;
    Put(device.SN, "NVR-7 & <co>");
    Put(device.User.U, "o\"p");
    Put(device.User.P, "a&b<c>'");
    Put(device.Model, "NVR-16");
    device.Version = 0xFFFFFFFF;
    return device;
}

// Every text field filled to its whole width, without a terminator.
DiscoveredDevice FullWidth() {
    DiscoveredDevice device{};
    PutInterface(device.Eth0, "127.000.000.1001", "255.255.255.0", "", "", "",
                 {0x10, 0x20, 0x30, 0x40, 0x50, 0x60});
    device.Port.Private = 34567;
    device.Port.Http = 8080;
    device.Port.Rtsp = 1554;
    Put(device.SN, "SN-FULL-WIDTH-" + std::string(34, '9'));
    Put(device.User.U, std::string(32, 'u'));
    Put(device.User.P, "pass-word-16-chr");
    Put(device.Model, "DVR-" + std::string(28, 'X'));
    return device;
}

// What a reload gives for a stored report: every field the document holds, texts cut to their
// width less one with a terminator, and zero everywhere else.
DiscoveredDevice Reloaded(const DiscoveredDevice& report) {
    DiscoveredDevice expected{};
    const NetInterface* from[] = {&report.Eth0, &report.Wifi, &report.G3};
    NetInterface* to[] = {&expected.Eth0, &expected.Wifi, &expected.G3};
    for (int i = 0; i < 3; ++i) {
        std::memcpy(to[i]->IP, from[i]->IP, 15);
        std::memcpy(to[i]->Mask, from[i]->Mask, 15);
        std::memcpy(to[i]->GW, from[i]->GW, 15);
        std::memcpy(to[i]->DNS1, from[i]->DNS1, 15);
        std::memcpy(to[i]->DNS2, from[i]->DNS2, 15);
        std::memcpy(to[i]->MAC, from[i]->MAC, 6);
    }
    expected.Port.Private = report.Port.Private;
    expected.Port.Http = report.Port.Http;
    expected.Port.Rtsp = report.Port.Rtsp;
    std::memcpy(expected.SN, report.SN, sizeof expected.SN - 1);
    std::memcpy(expected.User.U, report.User.U, sizeof expected.User.U - 1);
    std::memcpy(expected.User.P, report.User.P, sizeof expected.User.P - 1);
    std::memcpy(expected.Model, report.Model, sizeof expected.Model - 1);
    return expected;
}

bool SameBytes(const DiscoveredDevice& a, const DiscoveredDevice& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Key(const DiscoveredDevice& device) {
    return std::string(device.SN, ::strnlen(device.SN, sizeof device.SN));
}

class DiscoveryDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()); }
    fs::path File() const { return m_dir.Path() / "Discovery.Xml"; }

    TempDir m_dir;
};

TEST_F(DiscoveryDocumentTest, FleetFileEqualsTheExpectedTextByteForByte) {
    DiscoveryDocument document(File());
    document.Reset();
    for (const DiscoveredDevice& device :
         {Camera("127.0.0.2"), Recorder(), Camera("127.0.0.3"), FullWidth()}) {
        document.Append(device);
    }
    const std::string expected = ReadFile(DataFile("fleet.expected.xml"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadFile(File()), expected);
}

TEST_F(DiscoveryDocumentTest, EveryAppendLeavesAWholeOwnerOnlyFile) {
    // An older file readable by all is replaced, not rewritten in place.
    std::ofstream(File()) << "old content";
    ::chmod(File().c_str(), 0644);

    DiscoveryDocument document(File());
    document.Reset();
    for (int n = 1; n <= 5; ++n) {
        DiscoveredDevice device = Camera("127.0.0.2");
        Put(device.SN, "0262-" + std::to_string(n));
        document.Append(device);

        const std::string text = ReadFile(File());
        EXPECT_EQ(text.rfind("<TREE>\n", 0), 0u) << "after append " << n;
        EXPECT_TRUE(text.ends_with("</Node>\n</TREE>\n")) << "after append " << n;
        EXPECT_EQ(Count(text, "<Node>"), static_cast<std::size_t>(n));
        EXPECT_EQ(FileMode(File()), 0600u) << "after append " << n;
        EXPECT_EQ(DirectoryNames(m_dir.Path()), std::vector<std::string>{"Discovery.Xml"})
            << "no temporary file is left behind";

        // What is on disk reads back through the same reader.
        DiscoveryDocument copy(m_dir.Path() / "unused");
        ASSERT_TRUE(copy.LoadFrom(File()));
        DiscoveredDevice record{};
        ASSERT_TRUE(copy.Reload(Key(device), record));
        EXPECT_TRUE(SameBytes(record, Reloaded(device)));
    }
}

TEST_F(DiscoveryDocumentTest, ReloadGivesTheReportsFieldsAndZeroElsewhere) {
    DiscoveryDocument document(File());
    document.Reset();
    const DiscoveredDevice fleet[] = {Camera("127.0.0.2"), Recorder(), FullWidth()};
    for (const DiscoveredDevice& device : fleet)
        document.Append(device);

    for (const DiscoveredDevice& device : fleet) {
        DiscoveredDevice record;
        std::memset(&record, 0xA5, sizeof record);
        ASSERT_TRUE(document.Reload(Key(device), record)) << Key(device);
        EXPECT_TRUE(SameBytes(record, Reloaded(device))) << Key(device);
        EXPECT_EQ(record.Version, 0u);
        EXPECT_EQ(record.BuildDate, 0u);
    }

    DiscoveredDevice record{};
    ASSERT_TRUE(document.Reload(Key(FullWidth()), record));
    EXPECT_STREQ(record.Eth0.IP, "127.000.000.100") << "a 16-byte text comes back as 15";
    EXPECT_EQ(std::string(record.SN), Key(FullWidth()).substr(0, 47));
    EXPECT_EQ(std::string(record.Model), "DVR-" + std::string(27, 'X'));
}

TEST_F(DiscoveryDocumentTest, FirstNodeOfASerialWinsAndTheKeyIsExact) {
    DiscoveryDocument document(File());
    document.Reset();
    document.Append(Camera("127.0.0.2"));
    document.Append(Recorder());
    document.Append(Camera("127.0.0.3"));  // the same camera reported again

    DiscoveredDevice record{};
    ASSERT_TRUE(document.Reload("0262ABC0001", record));
    EXPECT_STREQ(record.Eth0.IP, "127.0.0.2");

    const std::string missing[] = {"0262abc0001",  "0262ABC000", "0262ABC00011",
                                   " 0262ABC0001", "",           "NVR-7 &amp; &lt;co&gt;"};
    for (const std::string& key : missing) {
        DiscoveredDevice untouched;
        std::memset(&untouched, 0x77, sizeof untouched);
        const DiscoveredDevice before = untouched;
        EXPECT_FALSE(document.Reload(key, untouched)) << key;
        EXPECT_TRUE(SameBytes(untouched, before)) << key;
    }
    ASSERT_TRUE(document.Reload("NVR-7 & <co>", record));
    EXPECT_EQ(record.Port.Http, 65535);
}

TEST_F(DiscoveryDocumentTest, LifecycleOfTheDocumentAndItsFile) {
    DiscoveryDocument document(File());
    DiscoveredDevice record;
    std::memset(&record, 0x33, sizeof record);
    const DiscoveredDevice before = record;

    // No document until the first reset: nothing written, nothing found.
    EXPECT_FALSE(document.Exists());
    document.Append(Camera("127.0.0.2"));
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_FALSE(document.Reload("0262ABC0001", record));
    EXPECT_TRUE(SameBytes(record, before));

    // A reset alone does not touch the file.
    document.Reset();
    EXPECT_TRUE(document.Exists());
    EXPECT_FALSE(fs::exists(File()));
    document.Append(Camera("127.0.0.2"));
    document.Append(Recorder());
    const std::string firstPass = ReadFile(File());
    EXPECT_EQ(Count(firstPass, "<Node>"), 2u);

    document.Reset();
    EXPECT_EQ(ReadFile(File()), firstPass) << "the previous pass stays until the first store";
    EXPECT_FALSE(document.Reload("0262ABC0001", record)) << "the reset forgot the old pass";
    EXPECT_TRUE(SameBytes(record, before));
    document.Append(Recorder());
    EXPECT_EQ(Count(ReadFile(File()), "<Node>"), 1u);

    // The close sequence drops the document; the file stays.
    document.Delete();
    EXPECT_FALSE(document.Exists());
    const std::string lastPass = ReadFile(File());
    document.Append(Camera("127.0.0.2"));
    EXPECT_EQ(ReadFile(File()), lastPass);
    EXPECT_FALSE(document.Reload("NVR-7 & <co>", record));
    document.Delete();  // twice is harmless
}

TEST_F(DiscoveryDocumentTest, DefaultFileIsInTheCurrentDirectory) {
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir.Path());
    {
        DiscoveryDocument document;
        EXPECT_EQ(document.FileName(), "Discovery.Xml");
        document.Reset();
        document.Append(Recorder());
    }
    fs::current_path(previous);
    EXPECT_EQ(Count(ReadFile(m_dir.Path() / "Discovery.Xml"), "<Node>"), 1u);
}

TEST_F(DiscoveryDocumentTest, FailedSavesAreIgnoredAndLeaveNothingBehind) {
    // The target's directory does not exist.
    DiscoveryDocument nowhere(m_dir.Path() / "missing" / "Discovery.Xml");
    nowhere.Reset();
    nowhere.Append(Recorder());
    DiscoveredDevice record{};
    EXPECT_TRUE(nowhere.Reload("NVR-7 & <co>", record)) << "the document in memory is complete";

    // The target is a directory: the rename fails and the temporary file is removed.
    fs::create_directory(File());
    DiscoveryDocument blocked(File());
    blocked.Reset();
    blocked.Append(Recorder());
    blocked.Append(Camera("127.0.0.2"));
    EXPECT_TRUE(fs::is_directory(File()));
    EXPECT_EQ(DirectoryNames(m_dir.Path()), std::vector<std::string>{"Discovery.Xml"});
    EXPECT_TRUE(blocked.Reload("0262ABC0001", record));

    // Once the way is clear, the next append saves the whole document.
    fs::remove(File());
    blocked.Append(FullWidth());
    EXPECT_EQ(Count(ReadFile(File()), "<Node>"), 3u);
}

// The reader on trees the writer never makes: hand-made entries loaded from a file.
struct OddCase {
    std::string key;
    bool found;
    void (*expect)(const DiscoveredDevice&);  // may be null
};

void ExpectMac(const uint8_t (&mac)[6], std::initializer_list<uint8_t> expected) {
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), mac))
        << int(mac[0]) << ':' << int(mac[1]) << ':' << int(mac[2]) << ':' << int(mac[3]) << ':'
        << int(mac[4]) << ':' << int(mac[5]);
}

void ExpectPorts(const DiscoveredDevice& d, uint16_t privatePort, uint16_t http, uint16_t rtsp) {
    EXPECT_EQ(d.Port.Private, privatePort);
    EXPECT_EQ(d.Port.Http, http);
    EXPECT_EQ(d.Port.Rtsp, rtsp);
}

const OddCase kOddCases[] = {
    {"under-another-name", true,
     [](const DiscoveredDevice& d) { EXPECT_STREQ(d.Model, "walked whatever its name"); }},
    {"only-sn", true,
     [](const DiscoveredDevice& d) {
         DiscoveredDevice expected{};
         std::strcpy(expected.SN, "only-sn");
         EXPECT_TRUE(SameBytes(d, expected)) << "missing elements leave their fields zero";
     }},
    {"partial", true,
     [](const DiscoveredDevice& d) {
         EXPECT_STREQ(d.Eth0.IP, "1.2.3.4");
         EXPECT_STREQ(d.Eth0.Mask, "255.0.0.0");
         EXPECT_STREQ(d.Eth0.GW, "");
         ExpectMac(d.Eth0.MAC, {0, 0, 0, 0, 0, 0});
         ExpectPorts(d, 81, 0, 0);
         EXPECT_STREQ(d.User.U, "just-user");
         EXPECT_STREQ(d.User.P, "");
     }},
    {"positional", true,
     [](const DiscoveredDevice& d) {
         EXPECT_STREQ(d.Model, "model-by-position");
         EXPECT_STREQ(d.User.U, "first");
         EXPECT_STREQ(d.User.P, "second");
         ExpectPorts(d, 1, 2, 3);
         EXPECT_STREQ(d.Eth0.IP, "10.0.0.1");
         EXPECT_STREQ(d.Eth0.DNS2, "10.0.0.5");
         ExpectMac(d.Eth0.MAC, {1, 2, 3, 4, 5, 6});
         EXPECT_STREQ(d.SN, "positional");
     }},
    {"not-the-key", false, nullptr},         // only an SN's first attribute is the key
    {"second-sn-element", false, nullptr},   // only a Node's first SN counts
    {"behind-an-empty-sn", false, nullptr},  // a first SN without attributes skips its Node
    {"mac-1", true,
     [](const DiscoveredDevice& d) {
         ExpectMac(d.Eth0.MAC, {0x0a, 0x0b, 0x0c, 0x0d, 0xe0, 0xff});
         ExpectMac(d.Wifi.MAC, {1, 2, 3, 0, 0, 0});
         ExpectMac(d.G3.MAC, {0, 0, 0, 0, 0, 0});
     }},
    {"mac-2", true,
     [](const DiscoveredDevice& d) {
         ExpectMac(d.Eth0.MAC, {1, 2, 0, 0, 0, 0});
         ExpectMac(d.Wifi.MAC, {0x12, 0, 0, 0, 0, 0});
         ExpectMac(d.G3.MAC, {1, 0, 0, 0, 0, 0});
     }},
    {"mac-3", true,
     [](const DiscoveredDevice& d) {
         ExpectMac(d.Eth0.MAC, {1, 2, 3, 4, 5, 6});
         ExpectMac(d.Wifi.MAC, {1, 0, 0, 0, 0, 0});
         ExpectMac(d.G3.MAC, {0, 0, 0, 0, 0, 0});
         EXPECT_EQ(d.Wifi.reserved[0], 0);
     }},
    {"mac-4", true,
     [](const DiscoveredDevice& d) {
         ExpectMac(d.Eth0.MAC, {1, 2, 3, 4, 5, 6});
         ExpectMac(d.Wifi.MAC, {0, 0, 0, 0, 0, 0});
         ExpectMac(d.G3.MAC, {1, 2, 3, 4, 5, 0});
     }},
    {"port-1", true, [](const DiscoveredDevice& d) { ExpectPorts(d, 65535, 0, 80); }},
    {"port-2", true, [](const DiscoveredDevice& d) { ExpectPorts(d, 0, 0, 0); }},
    {"port-3", true, [](const DiscoveredDevice& d) { ExpectPorts(d, 8080, 0, 0); }},
    {"port-4", true, [](const DiscoveredDevice& d) { ExpectPorts(d, 0, 0, 0); }},
    {"long", true,
     [](const DiscoveredDevice& d) {
         EXPECT_STREQ(d.Eth0.IP, "192.168.100.100");
         EXPECT_STREQ(d.Eth0.Mask, "255.255.255.255");
         EXPECT_STREQ(d.Eth0.GW, "") << "a cut value does not spill into the next field";
         ExpectMac(d.Eth0.MAC, {0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff});
         EXPECT_EQ(std::string(d.User.U), std::string(31, 'U'));
         EXPECT_EQ(std::string(d.User.P), std::string(15, 'P'));
         EXPECT_EQ(std::string(d.Model), std::string(31, 'M'));
         EXPECT_EQ(d.Version, 0u);
     }},
    {std::string(60, 'L'), true,
     [](const DiscoveredDevice& d) { EXPECT_EQ(std::string(d.SN), std::string(47, 'L')); }},
    // The list's column text is read into 128 bytes: a longer one is cut to 127 first.
    {std::string(127, 'k') + "-cut-off", true, nullptr},
    {std::string(126, 'k'), false, nullptr},
    {std::string("dup\0ignored", 11), true,
     [](const DiscoveredDevice& d) { EXPECT_STREQ(d.Model, "first of two"); }},
    {"DUP", false, nullptr},
};

TEST(DiscoveryDocumentReader, HandMadeEntries) {
    DiscoveryDocument document("/nonexistent-dir/never-saved.xml");
    ASSERT_TRUE(document.LoadFrom(DataFile("odd-nodes.xml")));
    for (const OddCase& c : kOddCases) {
        SCOPED_TRACE(c.key.substr(0, 40));
        DiscoveredDevice record;
        std::memset(&record, 0xEE, sizeof record);
        EXPECT_EQ(document.Reload(c.key, record), c.found);
        if (c.found && c.expect != nullptr)
            c.expect(record);
        if (!c.found) {
            DiscoveredDevice untouched;
            std::memset(&untouched, 0xEE, sizeof untouched);
            EXPECT_TRUE(SameBytes(record, untouched));
        }
    }
}

TEST(DiscoveryDocumentReader, NoRootMeansNothingFound) {
    TempDir dir;
    const fs::path file = dir.Path() / "other-root.xml";
    std::ofstream(file) << "<Tree><Node><SN A=\"x\" /></Node></Tree>\n";
    DiscoveryDocument document(dir.Path() / "Discovery.Xml");
    ASSERT_TRUE(document.LoadFrom(file));
    DiscoveredDevice record{};
    EXPECT_FALSE(document.Reload("x", record));
    document.Append(Recorder());
    EXPECT_FALSE(fs::exists(dir.Path() / "Discovery.Xml")) << "no TREE root: nothing is written";

    std::ofstream(dir.Path() / "broken.xml") << "<TREE><Node>";
    EXPECT_FALSE(document.LoadFrom(dir.Path() / "broken.xml"));
    EXPECT_FALSE(document.LoadFrom(dir.Path() / "absent.xml"));
}

// The callback thread appends while the GUI thread reloads: a reload sees a Node whole or not
// at all.
TEST_F(DiscoveryDocumentTest, ReloadWhileAppending) {
    constexpr int kDevices = 250;
    auto device = [](int i) {
        DiscoveredDevice d = Camera("127.0.0.2");
        Put(d.SN, "SN" + std::to_string(i));
        d.Port.Private = static_cast<uint16_t>(i);
        d.Eth0.MAC[5] = static_cast<uint8_t>(i);
        return d;
    };

    DiscoveryDocument document(File());
    document.Reset();
    std::atomic<bool> done{false};
    std::thread appender([&] {
        for (int i = 0; i < kDevices; ++i)
            document.Append(device(i));
        done = true;
    });

    int found = 0;
    int mismatches = 0;
    for (int round = 0; !done.load() || round < kDevices; ++round) {
        const int i = round % kDevices;
        DiscoveredDevice record{};
        if (document.Reload("SN" + std::to_string(i), record)) {
            ++found;
            if (!SameBytes(record, Reloaded(device(i))))
                ++mismatches;
        }
        if (round > 1'000'000)
            break;  // bounded whatever the scheduler does
    }
    appender.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(found, 0);
    EXPECT_EQ(Count(ReadFile(File()), "<Node>"), static_cast<std::size_t>(kDevices));
}

}  // namespace
