// Discovery passes through the window, over the real SDK against the real simulator on loopback:
// the type filter, the rows, the document and its file, the sensor labels, the selection reload,
// a new pass while sensor queries run, a full table, empty passes, and closing at any moment.
// The fleets of this program sit in 127.44.<n>.x, one block per test.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DevsimProcess.h"
#include "QuorlinApp.h"
#include "QuorlinDlg.h"
#include "Resource.h"
#include "TestDevices.h"
#include "TestFolder.h"
#include "Testing.h"
#include "Threads.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using quorlin::test::DevsimProcess;
using quorlin::test::JsonField;

// The main dialog, counting the WM_DISCOVERY_DONE messages it handles.
class PassDlg : public CQuorlinDlg {
public:
    std::atomic<int> m_doneMessages{0};

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DISCOVERY_DONE)
            ++m_doneMessages;
        return CQuorlinDlg::WindowProc(message, wParam, lParam);
    }
};

struct DeviceXml {
    std::string ip;
    std::string serial;
    std::string model;
    std::string behaviour = {};  // attributes of Behaviour
    std::string extra = {};      // further child elements
};

std::string Fleet(const std::vector<DeviceXml>& devices, const std::string& more = "") {
    std::string xml = "<Fleet>";
    for (const DeviceXml& d : devices)
        xml += "<Device><Eth0 IP=\"" + d.ip + "\" Mask=\"255.0.0.0\" GW=\"127.0.0.1\" />" +
               "<Port Private=\"34567\" Http=\"80\" Rtsp=\"554\" /><SN A=\"" + d.serial +
               "\" /><User U=\"admin\" P=\"pw\" /><Model A=\"" + d.model + "\" />" + d.extra +
               (d.behaviour.empty() ? "" : "<Behaviour " + d.behaviour + " />") + "</Device>";
    return xml + more + "</Fleet>";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Runs the GUI thread's event loop for `milliseconds`, as the modal loop of the window does:
// the sends of other threads are carried out as soon as they are posted.
void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class DiscoveryPass : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        m_folder = quorlin::test::EnterFreshTestFolder("quorlin-pass-");
        // A pass ends when the replies have stopped coming, however slowly a loaded machine
        // takes them in, not at the SDK's pass limit.
        ::setenv("ZQ_NETSDK_PASS_MS", "60000", 1);
    }

    void TearDown() override {
        Close();
        EXPECT_TRUE(StopAndWaitForAllThreads(30000));
        m_devsim.reset();
        for (const char* name : {"ZQ_NETSDK_QUIET_MS", "ZQ_NETSDK_PASS_MS", "ZQ_NETSDK_TARGETS"})
            ::unsetenv(name);
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
    }

    // Starts the simulator with `fleet`; the SDK of the next window opened points at it.
    void Play(const std::string& fleet) {
        m_devsim = std::make_unique<DevsimProcess>(fleet);
        ASSERT_TRUE(m_devsim->Ready()) << m_devsim->Error();
    }

    PassDlg& Open() {
        m_dialog = std::make_unique<PassDlg>();
        EXPECT_TRUE(m_dialog->Create(IDD_QUORLIN_DIALOG));
        return *m_dialog;
    }

    // Runs the close sequence on the GUI thread; how long it took.
    Clock::duration Close() {
        const auto start = Clock::now();
        if (m_dialog && IsWindow(m_dialog->m_hWnd))
            m_dialog->SendMessage(WM_CLOSE);
        const auto took = Clock::now() - start;
        m_dialog.reset();
        return took;
    }

    void Tick(CButton& box, bool ticked) {
        box.SendMessage(BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    QWidget* Control(int id) { return platform::testing::WidgetOf(::GetDlgItem(*m_dialog, id)); }

    void Press() { QTest::mouseClick(Control(IDC_DISCOVERY), Qt::LeftButton); }

    // Dispatches until `done` holds or `limit` passes.
    static bool Eventually(const std::function<bool()>& done,
                           Clock::duration limit = std::chrono::seconds(30)) {
        const auto deadline = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            Spin(5);
        }
        return true;
    }

    bool PassesDone(int passes) {
        return Eventually([&] { return m_dialog->m_doneMessages >= passes; });
    }

    // Dispatches for `time`, as the window does while the user looks at it.
    static void Dispatch(Clock::duration time) {
        const auto end = Clock::now() + time;
        while (Clock::now() < end)
            Spin(5);
    }

    std::vector<std::vector<std::string>> Rows() {
        std::vector<std::vector<std::string>> rows;
        for (int row = 0; row < m_dialog->m_deviceList.GetItemCount(); ++row) {
            std::vector<std::string> cells;
            for (int column = 0; column < kDeviceListColumns; ++column)
                cells.push_back(m_dialog->m_deviceList.GetItemText(row, column).str());
            rows.push_back(cells);
        }
        return rows;
    }

    // Column 1 of each row, by its serial number.
    std::map<std::string, std::string> Column1BySerial() {
        std::map<std::string, std::string> column1;
        for (const auto& cells : Rows())
            column1[cells[0]] = cells[1];
        return column1;
    }

    bool SensorThreadsEnded() {
        for (HANDLE thread : m_dialog->m_sensorThreads) {
            DWORD code = 0;
            if (thread != nullptr && GetExitCodeThread(thread, &code) && code == STILL_ACTIVE)
                return false;
        }
        return true;
    }

    // The simulator's log lines of `event` for the device `serial`.
    std::vector<std::string> Events(const std::string& event, const std::string& serial) {
        std::vector<std::string> lines;
        for (const std::string& line : m_devsim->Events(event))
            if (JsonField(line, "device") == serial)
                lines.push_back(line);
        return lines;
    }

    bool AllEnabled() {
        for (int id : {IDC_CHECK_DVR, IDC_CHECK_IPC, IDC_CHECK_DEC, IDC_CHECK_NVR, IDC_DISCOVERY,
                       IDC_LOCAL_IP, IDC_NETMASK, IDC_GATEWAY, IDC_MODIFY})
            if (!Control(id)->isEnabled())
                return false;
        return true;
    }

    platform::testing::GuiSession m_session;
    CQuorlinApp m_app;
    std::unique_ptr<DevsimProcess> m_devsim;
    std::unique_ptr<PassDlg> m_dialog;
    fs::path m_previous;
    fs::path m_folder;
};

// One of each type, two NVRs, and an IP camera that would be queried if its box were ticked.
const std::vector<DeviceXml> kMixedFleet = {
    {"127.44.1.2", "NVR44000001", "NVR-0800", ""},
    {"127.44.1.3", "DVR44000002", "DVR-1600", ""},
    {"127.44.1.4", "DEC44000003", "DEC-0400", ""},
    {"127.44.1.5", "0262440000004", "IPC-HX1100", "Sensor=\"OV9712\""},
    {"127.44.1.6", "NVR44000005", "NVR-3200", ""},
    {"127.44.1.7", "IPC44000006", "IPC-B200", ""},
};

TEST_F(DiscoveryPass, TheOpeningTicksListOnlyTheNvrsAndSignalTheEndOnce) {
    Play(Fleet(kMixedFleet));
    PassDlg& dlg = Open();

    // Nothing runs before the first press.
    Dispatch(200ms);
    EXPECT_TRUE(m_devsim->Events("probe").empty());
    EXPECT_EQ(dlg.m_deviceList.GetItemCount(), 0);

    Press();
    EXPECT_FALSE(Control(IDC_DISCOVERY)->isEnabled());
    ASSERT_TRUE(PassesDone(1));
    EXPECT_TRUE(AllEnabled());

    // Only the NVRs, column 1 from the model (no name table), row n showing slot n.
    EXPECT_EQ(Column1BySerial(), (std::map<std::string, std::string>{{"NVR44000001", "NVR-0800"},
                                                                     {"NVR44000005", "NVR-3200"}}));
    ASSERT_EQ(dlg.m_slotCount, 2);
    EXPECT_EQ(dlg.m_reportedCount, 2);
    EXPECT_EQ(dlg.m_expectedCount, 2);
    EXPECT_TRUE(dlg.IsPassDone());
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(dlg.m_slots[n].row, n);
        EXPECT_EQ(dlg.m_deviceList.GetItemText(n, 0).str(),
                  std::string(FieldText(dlg.m_slots[n].device.SN)));
    }
    const std::string file = ReadFile("Discovery.Xml");
    EXPECT_EQ(Count(file, "<Node>"), 2);
    EXPECT_EQ(Count(file, "NVR4400000"), 2);
    for (HANDLE thread : dlg.m_sensorThreads)
        EXPECT_EQ(thread, nullptr);

    // The ignored camera is never asked for its sensor, and no second end is signalled.
    Dispatch(500ms);
    EXPECT_TRUE(m_devsim->Events("login").empty());
    EXPECT_EQ(dlg.m_doneMessages, 1);

    // A second pass replaces rows and document with its own, and ends once too.
    Tick(dlg.m_checkDVR, true);
    Press();
    ASSERT_TRUE(PassesDone(2));
    EXPECT_EQ(dlg.m_deviceList.GetItemCount(), 3);
    EXPECT_EQ(Count(ReadFile("Discovery.Xml"), "<Node>"), 3);
    Dispatch(300ms);
    EXPECT_EQ(dlg.m_doneMessages, 2);
}

TEST_F(DiscoveryPass, IpCamerasOfPrefix0262AreLabelledByTheirSensor) {
    // The camera that names its entry "sensormodel" is played by an in-test device: the
    // simulator only ever serves the exact name.
    using namespace quorlin::netsdk::test;
    TcpResponder::Behaviour oddName;
    std::strcpy(oddName.block.Entry[2].Name, "sensormodel");
    std::strcpy(oddName.block.Entry[2].Value, "OV9712");
    TcpResponder oddCamera(oddName);
    DiscoveredDevice oddRecord = MakeDevice(7, "IPC-ODD");
    std::strcpy(oddRecord.Eth0.IP, "127.0.0.1");
    std::strcpy(oddRecord.SN, "0262ODDNAME");
    oddRecord.Port.Private = oddCamera.Port();
    UdpResponder oddDiscovery(std::vector<UdpResponder::Device>{UdpResponder::Device{oddRecord}});

    const struct {
        DeviceXml device;
        const char* column1;  // once every query has ended
        bool queried;
    } cases[] = {
        {{"127.44.2.2", "0262A", "IPC-HX1100", "Sensor=\"OV9712\""}, "QEMA 1Mpx", true},
        {{"127.44.2.3", "0262B", "IPC-HX1300", "Sensor=\"IMX138\" SensorEntry=\"9\""},
         "QEMA 1.3Mpx",
         true},
        {{"127.44.2.4", "0262C", "IPC-HX1300", "Sensor=\"IMX238-R2\""}, "QEMA 1.3Mpx", true},
        {{"127.44.2.5", "0262D", "IPC-HX1300", "Sensor=\"imx138\""}, "", true},
        {{"127.44.2.6", "0262E", "IPC-HX2000", "Sensor=\"AR0130\""}, "", true},
        {{"127.44.2.7", "0262F", "IPC-HX0000", ""}, "", true},
        // Not "0262": named from the table or by its model, and never queried.
        {{"127.44.2.8", "0263G", "IPC-B200", "Sensor=\"OV9712\""}, "IPC-B200", false},
        {{"127.44.2.9", "NVRH", "NVR-0800", ""}, "Recorder", false},
        // An NVR of prefix 0262 is named like any other device; the table's 0262 entry does
        // not name the cameras.
        {{"127.44.2.10", "0262I", "NVR-1600", ""}, "Camera", false},
    };
    std::vector<DeviceXml> fleet;
    for (const auto& c : cases)
        fleet.push_back(c.device);
    Play(Fleet(fleet));
    ::setenv("ZQ_NETSDK_TARGETS", (m_devsim->Target() + "," + oddDiscovery.Target()).c_str(), 1);

    PassDlg& dlg = Open();
    dlg.m_nameTable = {{"0262", "Camera"}, {"NVRH", "Recorder"}, {"0263G", "whole serial"}};
    Tick(dlg.m_checkIPC, true);
    Press();
    ASSERT_TRUE(PassesDone(1));
    ASSERT_EQ(dlg.m_slotCount, 10);

    // Each queried camera has a thread at its slot's index and an empty column 1 until
    // labelled; the others have neither.
    for (int n = 0; n < 10; ++n) {
        const std::string serial(FieldText(dlg.m_slots[n].device.SN));
        const bool queried =
            serial.rfind("0262", 0) == 0 && DeviceTypeOf(dlg.m_slots[n].device) == DeviceType::IPC;
        EXPECT_EQ(dlg.m_sensorThreads[n] != nullptr, queried) << serial;
    }
    ASSERT_TRUE(Eventually([&] { return SensorThreadsEnded(); }));

    std::map<std::string, std::string> expected;
    for (const auto& c : cases)
        expected[c.device.serial] = c.column1;
    expected["0262ODDNAME"] = "";
    EXPECT_EQ(Column1BySerial(), expected);

    // Every queried camera: one login, one read of command 533 channel 0, one logout.
    for (const auto& c : cases) {
        const auto logins = Events("login", c.device.serial);
        ASSERT_EQ(logins.size(), c.queried ? 1u : 0u) << c.device.serial;
        if (!c.queried)
            continue;
        EXPECT_EQ(JsonField(logins[0], "user"), "admin");
        EXPECT_EQ(JsonField(logins[0], "password"), "pw");
        const auto configs = Events("config", c.device.serial);
        ASSERT_EQ(configs.size(), 1u) << c.device.serial;
        EXPECT_EQ(JsonField(configs[0], "command"), "533");
        EXPECT_EQ(JsonField(configs[0], "channel"), "0");
        EXPECT_EQ(Events("logout", c.device.serial).size(), 1u) << c.device.serial;
    }
    const auto odd = oddCamera.Get();
    EXPECT_EQ(odd.configs, 1);
    EXPECT_EQ(odd.logouts, 1);
    EXPECT_EQ(odd.lastCommand, 533u);
    EXPECT_EQ(dlg.m_doneMessages, 1);
}

TEST_F(DiscoveryPass, RefusedLoginsAreRetriedASecondApartAndFailedReadsStillLogOut) {
    Play(Fleet({
        {"127.44.3.2", "0262RETRY", "IPC-HX1100", "Sensor=\"OV9712\" LoginFailures=\"2\""},
        {"127.44.3.3", "0262REFUSE", "IPC-HX1100", "Sensor=\"OV9712\" LoginFailures=\"3\""},
        {"127.44.3.4", "0262BUSY", "IPC-HX1100", "Sensor=\"OV9712\" ConfigFails=\"1\""},
    }));
    PassDlg& dlg = Open();
    Tick(dlg.m_checkIPC, true);
    Tick(dlg.m_checkNVR, false);
    Press();
    ASSERT_TRUE(PassesDone(1));
    // The pass ends without waiting for the queries.
    EXPECT_TRUE(AllEnabled());
    ASSERT_TRUE(Eventually([&] { return SensorThreadsEnded(); }));

    EXPECT_EQ(Column1BySerial(),
              (std::map<std::string, std::string>{
                  {"0262RETRY", "QEMA 1Mpx"}, {"0262REFUSE", ""}, {"0262BUSY", ""}}));

    auto ms = [](const std::string& line) { return std::stol(JsonField(line, "ms").value()); };
    // Accepted at the third attempt, after two waits of a second.
    const auto retry = Events("login", "0262RETRY");
    ASSERT_EQ(retry.size(), 3u);
    EXPECT_EQ(JsonField(retry[2], "answer"), "Ok");
    EXPECT_GE(ms(retry[1]) - ms(retry[0]), 900);
    EXPECT_GE(ms(retry[2]) - ms(retry[0]), 1900);
    EXPECT_EQ(Events("logout", "0262RETRY").size(), 1u);
    // Refused three times: no read, no logout.
    EXPECT_EQ(Events("login", "0262REFUSE").size(), 3u);
    EXPECT_TRUE(Events("config", "0262REFUSE").empty());
    EXPECT_TRUE(Events("logout", "0262REFUSE").empty());
    // A failing read is still followed by the logout.
    ASSERT_EQ(Events("config", "0262BUSY").size(), 1u);
    EXPECT_NE(JsonField(Events("config", "0262BUSY")[0], "answer"), "Ok");
    EXPECT_EQ(Events("logout", "0262BUSY").size(), 1u);

    // Queries ending after the pass send no second end.
    EXPECT_EQ(dlg.m_doneMessages, 1);
}

// A camera whose query ends at once, before anything else of the pass has arrived: its
// completion check must not end the pass, which goes on until the discovery call returns.
TEST_F(DiscoveryPass, AQuickFirstCameraQueryDoesNotEndThePassEarly) {
    Play(Fleet({{"127.44.13.2", "0262QUICK", "IPC-HX1100", "Sensor=\"OV9712\""},
                {"127.44.13.3", "NVR-LATE", "NVR-0800", "ReplyDelayMs=\"400\""}}));
    ::setenv("ZQ_NETSDK_QUIET_MS", "600", 1);
    PassDlg& dlg = Open();
    Tick(dlg.m_checkIPC, true);
    Press();
    ASSERT_TRUE(PassesDone(1));
    EXPECT_EQ(dlg.m_slotCount, 2);
    EXPECT_EQ(dlg.m_expectedCount, 2);
    EXPECT_EQ(Events("logout", "0262QUICK").size(), 1u);
    EXPECT_EQ(Column1BySerial(), (std::map<std::string, std::string>{{"0262QUICK", "QEMA 1Mpx"},
                                                                     {"NVR-LATE", "NVR-0800"}}));
    Dispatch(300ms);
    EXPECT_EQ(dlg.m_doneMessages, 1);
}

// A fleet file and the document expected from it, written by hand. Replies are spread 150 ms
// apart so that they arrive, and are stored, in the file's order.
fs::path TestData(const char* name) {
    const char* root = std::getenv("QUORLIN_TEST_DATA");
    return fs::path(root != nullptr ? root : "tests/data") / "app" / name;
}

TEST_F(DiscoveryPass, TheFileIsTheDocumentByteForByteAndAlwaysWholeAndPrivate) {
    ::setenv("ZQ_NETSDK_QUIET_MS", "600", 1);
    Play(ReadFile(TestData("three-nvrs.fleet.xml")));
    const std::string expected = ReadFile(TestData("three-nvrs.Discovery.Xml"));
    ASSERT_FALSE(expected.empty());
    PassDlg& dlg = Open();
    Press();

    // Every version of the file seen while the pass runs is a whole document, readable by its
    // owner only, with no fewer nodes than the one before.
    std::vector<int> nodesSeen;
    bool allWhole = true;
    bool allPrivate = true;
    DiscoveryDocument reader("unused.xml");
    ASSERT_TRUE(Eventually([&] {
        std::error_code error;
        if (fs::exists("Discovery.Xml", error)) {
            struct stat status {};
            if (::stat("Discovery.Xml", &status) == 0 && (status.st_mode & 0777) != 0600)
                allPrivate = false;
            const std::string text = ReadFile("Discovery.Xml");
            const int nodes = Count(text, "<Node>");
            if (!reader.LoadFrom("Discovery.Xml") || Count(text, "</Node>") != nodes ||
                text.size() < 8 || text.compare(text.size() - 8, 8, "</TREE>\n") != 0)
                allWhole = false;
            if (nodesSeen.empty() || nodesSeen.back() != nodes)
                nodesSeen.push_back(nodes);
        }
        return dlg.m_doneMessages >= 1;
    }));
    EXPECT_TRUE(allWhole);
    EXPECT_TRUE(allPrivate);
    EXPECT_TRUE(std::is_sorted(nodesSeen.begin(), nodesSeen.end()));
    EXPECT_GE(nodesSeen.size(), 2u);  // the file was rewritten after the appends, not once

    EXPECT_EQ(ReadFile("Discovery.Xml"), expected);
    EXPECT_EQ(dlg.m_deviceList.GetItemText(0, 0).str(), "NVR-A&B");

    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(m_folder))
        files += entry.path().filename().string().rfind("Discovery.Xml", 0) == 0 ? 1 : 0;
    EXPECT_EQ(files, 1);

    // A new pass leaves the file as it was until its first device is stored.
    Tick(dlg.m_checkNVR, false);
    Tick(dlg.m_checkDVR, true);
    Press();
    ASSERT_TRUE(Eventually([&] { return dlg.m_deviceList.GetItemCount() == 0; }));
    ASSERT_TRUE(PassesDone(2));
    EXPECT_EQ(ReadFile("Discovery.Xml"), expected);
    EXPECT_TRUE(dlg.m_discoveryDocument.Exists());
}

TEST_F(DiscoveryPass, SelectingRowsReloadsTheFirstSelectedDeviceFromTheDocument) {
    Play(Fleet({
        {"127.44.6.2", "SEL-1", "NVR-0800", "",
         "<Wifi IP=\"127.44.7.2\" Mask=\"255.255.255.0\" GW=\"127.44.7.1\" DNS1=\"1.1.1.1\" "
         "DNS2=\"8.8.8.8\" MAC=\"0a:0b:0c:0d:0e:0f\" />"
         "<G3 IP=\"10.0.0.9\" MAC=\"ff:fe:fd:fc:fb:fa\" /><Version Major=\"3\" Minor=\"2\" />"
         "<BuildDate Year=\"2015\" Month=\"1\" Day=\"20\" />"},
        {"127.44.6.3", "SEL-DUP", "NVR-1600", "ReplyDelayMs=\"100\""},
        {"127.44.6.4", "SEL-DUP", "NVR-3200", "ReplyDelayMs=\"200\""},
        {"127.44.6.5", std::string(48, 'L'), "NVR-LONG", "ReplyDelayMs=\"300\""},
    }));
    ::setenv("ZQ_NETSDK_QUIET_MS", "500", 1);
    PassDlg& dlg = Open();
    Press();
    ASSERT_TRUE(PassesDone(1));
    ASSERT_EQ(dlg.m_deviceList.GetItemCount(), 4);

    auto select = [&](std::set<int> rows) {
        for (int row = 0; row < dlg.m_deviceList.GetItemCount(); ++row)
            if (!rows.count(row))
                dlg.m_deviceList.SetItemState(row, 0, LVIS_SELECTED);
        for (int row : rows)
            dlg.m_deviceList.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        Spin(5);
    };
    auto boxes = [&] {
        std::vector<std::string> texts;
        for (int id : {IDC_LOCAL_IP, IDC_NETMASK, IDC_GATEWAY}) {
            CString text;
            dlg.GetDlgItem(id)->GetWindowText(text);
            texts.push_back(text.str());
        }
        return texts;
    };
    // What the reload must give for a slot's report: every field the document holds, and zero
    // in every other byte.
    auto reloaded = [&](int slot) {
        const DiscoveredDevice& report = dlg.m_slots[slot].device;
        DiscoveredDevice expected{};
        for (auto [to, from] :
             {std::pair{&expected.Eth0, &report.Eth0}, std::pair{&expected.Wifi, &report.Wifi},
              std::pair{&expected.G3, &report.G3}}) {
            std::memcpy(to, from, offsetof(NetInterface, reserved));
        }
        expected.Port = report.Port;
        std::memcpy(expected.SN, report.SN, sizeof report.SN);
        expected.SN[sizeof expected.SN - 1] = '\0';  // cut to the field less one byte
        std::memcpy(&expected.User, &report.User, sizeof report.User);
        std::memcpy(expected.Model, report.Model, sizeof report.Model);
        return expected;
    };
    auto recordIs = [&](const DiscoveredDevice& expected) {
        return std::memcmp(&dlg.m_currentRecord, &expected, sizeof expected) == 0;
    };

    // One row: the boxes and the record from its device; Version and BuildDate stay zero.
    dlg.GetDlgItem(IDC_LOCAL_IP)->SetWindowText("typed by the user");
    select({0});
    EXPECT_EQ(boxes(), (std::vector<std::string>{"127.44.6.2", "255.0.0.0", "127.0.0.1"}));
    EXPECT_TRUE(recordIs(reloaded(0)));
    EXPECT_EQ(std::string(dlg.m_currentRecord.Wifi.DNS2), "8.8.8.8");
    EXPECT_EQ(dlg.m_currentRecord.G3.MAC[5], 0xfa);
    EXPECT_EQ(dlg.m_currentRecord.Version, 0u);
    EXPECT_EQ(dlg.m_currentRecord.BuildDate, 0u);
    EXPECT_NE(dlg.m_slots[0].device.Version, 0u);

    // Several rows: the lowest index counts.
    select({3, 1});
    EXPECT_EQ(boxes()[0], "127.44.6.3");
    EXPECT_TRUE(recordIs(reloaded(1)));

    // A serial number reported twice: either row loads the first entry.
    select({2});
    EXPECT_EQ(boxes()[0], "127.44.6.3");
    EXPECT_TRUE(recordIs(reloaded(1)));

    // A serial number that fills its whole field is found and cut to fit when read back.
    select({3});
    EXPECT_EQ(boxes()[0], "127.44.6.5");
    EXPECT_TRUE(recordIs(reloaded(3)));

    // A row whose serial number the document does not hold changes nothing.
    dlg.m_deviceList.SetItemText(0, 0, "sel-1");
    const DiscoveredDevice before = dlg.m_currentRecord;
    dlg.GetDlgItem(IDC_LOCAL_IP)->SetWindowText("kept");
    select({0});
    EXPECT_EQ(boxes()[0], "kept");
    EXPECT_EQ(std::memcmp(&dlg.m_currentRecord, &before, sizeof before), 0);

    // No selection: nothing changes either.
    select({});
    EXPECT_EQ(boxes()[0], "kept");
}

TEST_F(DiscoveryPass, ANewPassEndsTheSensorQueriesOfThePreviousOne) {
    std::vector<DeviceXml> fleet;
    for (int n = 0; n < 6; ++n)
        fleet.push_back({"127.44.8." + std::to_string(2 + n), "0262SLOW" + std::to_string(n),
                         "IPC-HX1100", "Sensor=\"OV9712\" LoginFailures=\"2\""});
    fleet.push_back({"127.44.8.20", "NVR-NEXT", "NVR-0800", ""});
    Play(Fleet(fleet));
    PassDlg& dlg = Open();
    Tick(dlg.m_checkIPC, true);
    Tick(dlg.m_checkNVR, false);
    Press();
    ASSERT_TRUE(PassesDone(1));
    ASSERT_EQ(dlg.m_slotCount, 6);
    // The cameras refused the first login; their queries wait a second before the next one.
    ASSERT_TRUE(Eventually([&] { return m_devsim->Events("login").size() >= 6; }));

    Tick(dlg.m_checkIPC, false);
    Tick(dlg.m_checkNVR, true);
    Press();
    for (HANDLE thread : dlg.m_sensorThreads)
        EXPECT_EQ(thread, nullptr);
    ASSERT_TRUE(PassesDone(2));
    EXPECT_EQ(Column1BySerial(), (std::map<std::string, std::string>{{"NVR-NEXT", "NVR-0800"}}));

    // The ended queries leave without another login, a read or a label; after the time they
    // would have needed, the new pass's row still shows its own text and no extra end came.
    ASSERT_TRUE(Eventually([] { return RunningThreadCount() == 1; }, 10s));  // the control loop
    Dispatch(2500ms);
    EXPECT_EQ(m_devsim->Events("login").size(), 6u);
    EXPECT_TRUE(m_devsim->Events("config").empty());
    EXPECT_EQ(Column1BySerial(), (std::map<std::string, std::string>{{"NVR-NEXT", "NVR-0800"}}));
    EXPECT_EQ(dlg.m_doneMessages, 2);
    EXPECT_TRUE(AllEnabled());
}

// The interleaving the pass generation guards against: a thread of the previous pass runs its
// completion check after "Discovery" has reset the counts (both 0, so equal). It must neither
// signal nor mark the new pass done, or the new pass would never re-enable the controls. The
// check is called directly because the real thread reaches that point only by chance.
TEST_F(DiscoveryPass, ACompletionCheckOfAnEndedPassDoesNotEndTheNextOne) {
    Play(Fleet({{"127.44.9.2", "NVR-GEN", "NVR-0800", "ReplyDelayMs=\"200\""}}));
    PassDlg& dlg = Open();
    Press();
    ASSERT_TRUE(PassesDone(1));
    const uint32_t ended = dlg.PassGeneration();

    Press();
    EXPECT_FALSE(dlg.IsPassDone());
    struct Stale {
        CQuorlinDlg* dlg;
        uint32_t generation;
    } stale{&dlg, ended};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Stale*>(p);
            s->dlg->CheckPassCompletion(s->generation);
            return 0;
        },
        &stale, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_FALSE(dlg.IsPassDone());
    EXPECT_EQ(dlg.m_doneMessages, 1);

    ASSERT_TRUE(PassesDone(2));
    EXPECT_TRUE(AllEnabled());
    EXPECT_EQ(dlg.PassGeneration(), ended + 1);
}

TEST_F(DiscoveryPass, AFullTableDropsFurtherReportsWholeAndThePassEndsOnce) {
    Play("<Fleet><Generate Type=\"NVR\" Count=\"300\" FirstIP=\"127.44.10.1\" /></Fleet>");
    PassDlg& dlg = Open();
    Press();
    ASSERT_TRUE(PassesDone(1));
    EXPECT_EQ(dlg.m_slotCount, kMaxDeviceSlots);
    EXPECT_EQ(dlg.m_reportedCount, kMaxDeviceSlots);
    EXPECT_EQ(dlg.m_deviceList.GetItemCount(), kMaxDeviceSlots);
    EXPECT_EQ(Count(ReadFile("Discovery.Xml"), "<Node>"), kMaxDeviceSlots);
    for (int n = 0; n < kMaxDeviceSlots; ++n)
        ASSERT_EQ(dlg.m_slots[n].row, n);
    std::set<std::string> serials;
    for (const auto& cells : Rows())
        serials.insert(cells[0]);
    EXPECT_EQ(serials.size(), static_cast<std::size_t>(kMaxDeviceSlots));
    EXPECT_TRUE(AllEnabled());
    Dispatch(300ms);
    EXPECT_EQ(dlg.m_doneMessages, 1);
}

TEST_F(DiscoveryPass, APassThatFindsNothingEndsOnceAndWritesNoFile) {
    const struct {
        const char* what;
        const char* fleet;  // nullptr: no device answers at all
    } cases[] = {
        {"only types not ticked",
         "<Fleet><Generate Type=\"DVR\" Count=\"5\" FirstIP=\"127.44.11.1\" /></Fleet>"},
        {"nobody answers", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fleet != nullptr) {
            Play(c.fleet);
        } else {
            m_devsim.reset();
            ::setenv("ZQ_NETSDK_TARGETS", "127.0.0.1:9", 1);  // discard port: nothing there
        }
        PassDlg& dlg = Open();
        Press();
        ASSERT_TRUE(PassesDone(1));
        EXPECT_EQ(dlg.m_deviceList.GetItemCount(), 0);
        EXPECT_EQ(dlg.m_expectedCount, 0);
        EXPECT_TRUE(AllEnabled());
        EXPECT_FALSE(fs::exists("Discovery.Xml"));
        EXPECT_TRUE(dlg.m_discoveryDocument.Exists());
        Dispatch(300ms);
        EXPECT_EQ(dlg.m_doneMessages, 1);
        Close();
    }
}

TEST_F(DiscoveryPass, ClosingAtAnyMomentOfAPassEndsWithinASecond) {
    // Reports spread over about half a second, cameras that keep their queries in retries, a
    // pass limit far beyond the close: every close lands somewhere in a pass or its queries.
    std::vector<DeviceXml> fleet;
    for (int n = 0; n < 24; ++n) {
        const std::string ip = "127.44.12." + std::to_string(2 + n);
        const std::string delay = "ReplyDelayMs=\"" + std::to_string(n * 20) + "\"";
        if (n % 2 == 0)
            fleet.push_back(
                {ip, "0262CLOSE" + std::to_string(n), "IPC-HX1100",
                 delay + " Sensor=\"OV9712\" LoginFailures=\"" + std::to_string(n % 3) + "\""});
        else
            fleet.push_back({ip, "NVRCLOSE" + std::to_string(n), "NVR-0800", delay});
    }
    ::setenv("ZQ_NETSDK_QUIET_MS", "150", 1);
    ::setenv("ZQ_NETSDK_PASS_MS", "60000", 1);
    Play(Fleet(fleet));

    std::mt19937 random(20150120);
    std::uniform_int_distribution<int> moment(0, 900);
    Clock::duration longest{};
    int closedDuringPass = 0;
    for (int i = 0; i < 100; ++i) {
        PassDlg& dlg = Open();
        Tick(dlg.m_checkIPC, true);
        Press();
        Dispatch(std::chrono::milliseconds(moment(random)));
        closedDuringPass += dlg.m_doneMessages == 0 ? 1 : 0;
        const Clock::duration took = Close();
        longest = std::max(longest, took);
        EXPECT_LT(took, 1s) << "close " << i << " took "
                            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                            << " ms";
        // Nothing the window started outlives it.
        ASSERT_TRUE(Eventually([] { return RunningThreadCount() == 0; }, 10s)) << i;
    }
    EXPECT_GT(closedDuringPass, 10);
    std::printf("longest close: %lld ms; %d of 100 during the discovery call\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()),
                closedDuringPass);
}

}  // namespace
