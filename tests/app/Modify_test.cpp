// "Modify" in the window with the real SDK against the real simulator on loopback: what
// reaches the device (the simulator's request log), the message box, the refusals that send
// nothing and show nothing, and the whole road from a discovery pass through a row selection to
// the device listed at its new address; and column 1's friendly names from "Config.xml". The
// devices play in the block 127.26.x.x.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <clocale>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceRecord.h"
#include "DevsimProcess.h"
#include "LocaleScope.h"
#include "WindowFixture.h"

namespace {

using platform::testing::TakeMessageBoxes;
using platform::testing::WidgetOf;
using quorlin::test::DevsimProcess;
using quorlin::test::JsonField;

// A recorder with every field the discovery document keeps, and a version and build date that
// the document does not keep.
const char* const kRecorder =
    R"(<Device><Eth0 IP="127.26.0.2" Mask="255.255.255.0" GW="127.26.0.254" DNS1="127.0.0.53")"
    R"( DNS2="127.0.0.54" MAC="00:1a:2b:3c:4d:01" />)"
    R"(<Wifi IP="127.26.9.2" Mask="255.255.255.0" GW="127.26.9.1" DNS1="127.0.0.53" DNS2="")"
    R"( MAC="00:1a:2b:3c:4d:02" />)"
    R"(<Port Private="34567" Http="8080" Rtsp="554" /><SN A="5001NVR0001" />)"
    R"(<User U="admin" P="s3cret" /><Model A="NVR-7208" /><Version Major="3" Minor="2" />)"
    R"(<BuildDate Year="2015" Month="1" Day="20" /></Device>)";
// The first modify request it gets is refused.
const char* const kRefuser =
    R"(<Device><Eth0 IP="127.26.0.3" Mask="255.0.0.0" GW="127.0.0.1" DNS1="127.0.0.53")"
    R"( DNS2="127.0.0.54" MAC="00:1a:2b:3c:4d:03" /><SN A="5001NVR0002" />)"
    R"(<Model A="NVR-7208" /><Behaviour ModifyFails="1" /></Device>)";

// Sets an interface's five address texts and its MAC, 00:1a:2b:3c:4d:`macEnd`.
void SetInterface(NetInterface& net, const char* ip, const char* mask, const char* gw,
                  const char* dns1, const char* dns2, uint8_t macEnd) {
    SetFieldText(net.IP, ip);
    SetFieldText(net.Mask, mask);
    SetFieldText(net.GW, gw);
    SetFieldText(net.DNS1, dns1);
    SetFieldText(net.DNS2, dns2);
    const uint8_t mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, macEnd};
    std::memcpy(net.MAC, mac, 6);
}

// An NVR-7208 as a reload from the discovery document leaves it in the current record: every
// field the document keeps, zero elsewhere. The interfaces are the caller's.
DiscoveredDevice ReloadedNvr(const char* sn, uint16_t privatePort, uint16_t httpPort,
                             const char* password) {
    DiscoveredDevice d{};
    d.Port.Private = privatePort;
    d.Port.Http = httpPort;
    d.Port.Rtsp = 554;
    SetFieldText(d.SN, sn);
    SetFieldText(d.User.U, "admin");
    SetFieldText(d.User.P, password);
    SetFieldText(d.Model, "NVR-7208");
    return d;
}

DiscoveredDevice ReloadedRecorder() {
    DiscoveredDevice d = ReloadedNvr("5001NVR0001", 34567, 8080, "s3cret");
    SetInterface(d.Eth0, "127.26.0.2", "255.255.255.0", "127.26.0.254", "127.0.0.53", "127.0.0.54",
                 0x01);
    SetInterface(d.Wifi, "127.26.9.2", "255.255.255.0", "127.26.9.1", "127.0.0.53", "", 0x02);
    return d;
}

DiscoveredDevice ReloadedRefuser() {
    DiscoveredDevice d = ReloadedNvr("5001NVR0002", 8000, 80, "admin");
    SetInterface(d.Eth0, "127.26.0.3", "255.0.0.0", "127.0.0.1", "127.0.0.53", "127.0.0.54", 0x03);
    return d;
}

// The recorder's record as the simulator logs it after a change of its three wired addresses.
std::string LoggedRecorder(const std::string& ip, const std::string& mask, const std::string& gw) {
    return R"({"Eth0":{"IP":")" + ip + R"(","Mask":")" + mask + R"(","GW":")" + gw +
           R"(","DNS1":"127.0.0.53","DNS2":"127.0.0.54","MAC":"00:1a:2b:3c:4d:01"},)"
           R"("Wifi":{"IP":"127.26.9.2","Mask":"255.255.255.0","GW":"127.26.9.1",)"
           R"("DNS1":"127.0.0.53","DNS2":"","MAC":"00:1a:2b:3c:4d:02"},)"
           R"("G3":{"IP":"","Mask":"","GW":"","DNS1":"","DNS2":"","MAC":"00:00:00:00:00:00"},)"
           R"("Port":{"Private":34567,"Http":8080,"Rtsp":554},"SN":"5001NVR0001",)"
           R"("User":{"U":"admin","P":"s3cret"},"Model":"NVR-7208","Version":0,"BuildDate":0,)"
           R"("VersionText":"V0.0 build 0000-00-00"})";
}

// The JSON object that follows "record": in a log line, as written.
std::string RecordOf(const std::string& line) {
    const std::string key = "\"record\":";
    std::size_t start = line.find(key);
    if (start == std::string::npos)
        return {};
    start += key.size();
    int depth = 0;
    bool inString = false;
    for (std::size_t i = start; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return line.substr(start, i - start + 1);
        }
    }
    return {};
}

class ModifyWindow : public quorlin::test::WindowFixture {
protected:
    // Starts the simulator with `devices` (the SDK is pointed at it before the window opens
    // and initialises it), then opens the window.
    CQuorlinDlg& OpenWith(const std::string& devices) {
        m_sim = std::make_unique<DevsimProcess>("<Fleet>" + devices + "</Fleet>");
        EXPECT_TRUE(m_sim->Ready()) << m_sim->Error();
        return Open();
    }

    // The modify requests that reached a device, without the SDK's repeats of one request.
    std::vector<std::string> ModifyRequests() const {
        std::vector<std::string> requests;
        for (const std::string& line : m_sim->Events("modify"))
            if (JsonField(line, "repeated") != "true")
                requests.push_back(line);
        return requests;
    }

    // Types the three addresses into the edit boxes, as a user would.
    void Type(const std::string& ip, const std::string& mask, const std::string& gw) {
        const std::pair<int, const std::string*> boxes[] = {
            {IDC_LOCAL_IP, &ip}, {IDC_NETMASK, &mask}, {IDC_GATEWAY, &gw}};
        for (const auto& [id, text] : boxes) {
            auto* edit = qobject_cast<QLineEdit*>(Control(id));
            ASSERT_NE(edit, nullptr) << id;
            edit->clear();
            QTest::keyClicks(edit, QString::fromStdString(*text));
        }
    }

    void PressModify() { QTest::mouseClick(Control(IDC_MODIFY), Qt::LeftButton); }

    // Types the three addresses and presses "Modify".
    void Modify(const std::string& ip, const std::string& mask, const std::string& gw) {
        Type(ip, mask, gw);
        PressModify();
    }

    // Presses "Discovery" and waits until the pass has re-enabled the controls. False when the
    // press did not start a pass or the pass did not end in time.
    bool RunPass() {
        QWidget* discovery = Control(IDC_DISCOVERY);
        QTest::mouseClick(discovery, Qt::LeftButton);
        if (discovery->isEnabled())
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!discovery->isEnabled() && std::chrono::steady_clock::now() < deadline)
            platform::testing::ProcessEvents(20);
        return discovery->isEnabled();
    }

    // The list row showing serial number `sn`, or -1.
    int RowOf(const std::string& sn) const {
        for (int row = 0; row < m_dialog->m_deviceList.GetItemCount(); ++row)
            if (m_dialog->m_deviceList.GetItemText(row, 0).str() == sn)
                return row;
        return -1;
    }

    std::string Cell(int row, int column) const {
        return m_dialog->m_deviceList.GetItemText(row, column).str();
    }

    // Clicks the row, as a user picks a device.
    void Select(int row) {
        auto* view = qobject_cast<QAbstractItemView*>(Control(IDC_DEVICE_LIST));
        ASSERT_NE(view, nullptr);
        const QRect cell = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QWidget* Control(int id) const { return WidgetOf(::GetDlgItem(m_dialog->m_hWnd, id)); }

    std::unique_ptr<DevsimProcess> m_sim;
};

TEST_F(ModifyWindow, SendsTheCurrentRecordWithTheEditedAddressesAndShowsTheSuccessText) {
    Install("language-en.xml", "language.xml");
    CQuorlinDlg& dlg = OpenWith(kRecorder);
    dlg.m_currentRecord = ReloadedRecorder();
    Modify("127.26.0.50", "255.255.0.0", "127.26.0.1");

    const auto boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
    EXPECT_EQ(boxes[0].caption, "Network settings");
    EXPECT_EQ(boxes[0].text, "The device took the new settings.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));

    const auto requests = ModifyRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RecordOf(requests[0]), LoggedRecorder("127.26.0.50", "255.255.0.0", "127.26.0.1"));
    EXPECT_EQ(JsonField(requests[0], "answer"), "Ok");
    EXPECT_EQ(JsonField(requests[0], "moved"), "true");

    // The record keeps the new texts; the list is not touched.
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.IP), "127.26.0.50");
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.Mask), "255.255.0.0");
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.GW), "127.26.0.1");
    EXPECT_EQ(dlg.m_deviceList.GetItemCount(), 0);
}

TEST_F(ModifyWindow, LeadingZerosAreSentAsTypedAndTheBoxFollowsTheAnswer) {
    Install("language-en.xml", "language.xml");
    CQuorlinDlg& dlg = OpenWith(kRecorder);
    dlg.m_currentRecord = ReloadedRecorder();
    Modify("127.26.0.2", "255.255.255.000", "127.026.000.001");

    const auto requests = ModifyRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RecordOf(requests[0]),
              LoggedRecorder("127.26.0.2", "255.255.255.000", "127.026.000.001"));
    const auto boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, JsonField(requests[0], "answer") == "Ok"
                                 ? "The device took the new settings."
                                 : "The device refused the new settings.");
}

TEST_F(ModifyWindow, RefusedEntriesSendNothingAndShowNothing) {
    Install("language-en.xml", "language.xml");
    CQuorlinDlg& dlg = OpenWith(kRecorder);

    // Before any row is loaded the record is all zeros: its DNS fields are empty.
    Modify("127.26.0.50", "255.255.0.0", "127.26.0.1");
    EXPECT_TRUE(TakeMessageBoxes().empty()) << "before any selection";

    DiscoveredDevice noDns1 = ReloadedRecorder();
    SetFieldText(noDns1.Eth0.DNS1, "");
    DiscoveredDevice badDns2 = ReloadedRecorder();
    SetFieldText(badDns2.Eth0.DNS2, "127.0.0");
    const struct {
        const char* what;
        DiscoveredDevice record;
        std::string ip, mask, gw;
    } cases[] = {
        {"IP above 255", ReloadedRecorder(), "256.26.0.50", "255.255.0.0", "127.26.0.1"},
        {"leading blank", ReloadedRecorder(), " 127.26.0.50", "255.255.0.0", "127.26.0.1"},
        {"prefix length", ReloadedRecorder(), "127.26.0.50/16", "255.255.0.0", "127.26.0.1"},
        {"empty IP", ReloadedRecorder(), "", "255.255.0.0", "127.26.0.1"},
        {"two dots", ReloadedRecorder(), "127.26.0.50", "255.255.0", "127.26.0.1"},
        {"empty group", ReloadedRecorder(), "127.26.0.50", "255..0.0", "127.26.0.1"},
        {"trailing dot", ReloadedRecorder(), "127.26.0.50", "255.255.0.0", "127.26.0."},
        {"dots alone", ReloadedRecorder(), "127.26.0.50", "255.255.0.0", "..."},
        {"2^32 in a group", ReloadedRecorder(), "127.26.0.50", "255.255.0.0", "4294967296..."},
        {"a group of nine digits", ReloadedRecorder(), "127.26.0.50", "255.255.0.0",
         "999999999.0.0.1"},
        {"letters", ReloadedRecorder(), "127.26.0.50", "255.255.0.0", "a.b.c.d"},
        {"DNS1 empty", noDns1, "127.26.0.50", "255.255.0.0", "127.26.0.1"},
        {"DNS2 not an address", badDns2, "127.26.0.50", "255.255.0.0", "127.26.0.1"},
    };
    for (const auto& c : cases) {
        dlg.m_currentRecord = c.record;
        Modify(c.ip, c.mask, c.gw);
        EXPECT_TRUE(TakeMessageBoxes().empty()) << c.what;
        // The copies are made before the checks and stay in the record.
        EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.IP), c.ip) << c.what;
        EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.Mask), c.mask) << c.what;
        EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.GW), c.gw) << c.what;
    }

    // A 16-character entry is refused whole rather than cut to another address (its first 15
    // characters, 127.026.100.100, would pass): that field keeps its text, the other two are
    // copied.
    dlg.m_currentRecord = ReloadedRecorder();
    Modify("127.026.100.1000", "255.255.0.0", "127.26.0.1");
    EXPECT_TRUE(TakeMessageBoxes().empty()) << "16 characters";
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.IP), "127.26.0.2");
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.Mask), "255.255.0.0");
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.GW), "127.26.0.1");

    // None of them reached the device: the one request it saw is the valid one that follows.
    dlg.m_currentRecord = ReloadedRecorder();
    Modify("127.26.0.50", "255.255.0.0", "127.26.0.1");
    ASSERT_EQ(TakeMessageBoxes().size(), 1u);
    const auto requests = ModifyRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RecordOf(requests[0]), LoggedRecorder("127.26.0.50", "255.255.0.0", "127.26.0.1"));
}

TEST_F(ModifyWindow, ARefusalShowsTheFailureTextAndPressingAgainSendsTheSameRecord) {
    Install("language-en.xml", "language.xml");
    CQuorlinDlg& dlg = OpenWith(kRefuser);
    dlg.m_currentRecord = ReloadedRefuser();
    Type("127.26.0.60", "255.0.0.0", "127.0.0.1");

    PressModify();
    auto boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Network settings");
    EXPECT_EQ(boxes[0].text, "The device refused the new settings.");
    EXPECT_EQ(FieldText(dlg.m_currentRecord.Eth0.IP), "127.26.0.60");

    // The boxes are unchanged: the same record goes again, and this time the device takes it.
    PressModify();
    boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The device took the new settings.");

    const auto requests = ModifyRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(JsonField(requests[0], "answer"), "Refused");
    EXPECT_EQ(JsonField(requests[1], "answer"), "Ok");
    EXPECT_FALSE(RecordOf(requests[0]).empty());
    EXPECT_EQ(RecordOf(requests[0]), RecordOf(requests[1]));
    EXPECT_EQ(JsonField(RecordOf(requests[1]), "IP"), "127.26.0.60");
}

TEST_F(ModifyWindow, WithoutALanguageFileTheBoxHasAnEmptyCaptionAndText) {
    CQuorlinDlg& dlg = OpenWith(kRecorder);
    dlg.m_currentRecord = ReloadedRecorder();
    Modify("127.26.0.2", "255.255.255.0", "127.26.0.254");
    const auto boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].text, "");
    EXPECT_EQ(ModifyRequests().size(), 1u);
}

TEST_F(ModifyWindow, DiscoverSelectEditAndModifyThenTheNextPassListsTheNewAddress) {
    Install("language-en.xml", "language.xml");
    CQuorlinDlg& dlg = OpenWith(std::string(kRecorder) + kRefuser);
    ASSERT_TRUE(RunPass());
    const int row = RowOf("5001NVR0001");
    ASSERT_GE(row, 0);
    Select(row);
    EXPECT_EQ(ControlText(IDC_LOCAL_IP), "127.26.0.2");
    EXPECT_EQ(ControlText(IDC_NETMASK), "255.255.255.0");
    EXPECT_EQ(ControlText(IDC_GATEWAY), "127.26.0.254");

    Modify("127.26.0.50", "255.255.0.0", "127.26.0.1");
    const auto boxes = TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
    EXPECT_EQ(boxes[0].caption, "Network settings");
    EXPECT_EQ(boxes[0].text, "The device took the new settings.");

    // The record of the reload went with the three new addresses; the version and build date
    // the device reported are not in the document, so they went as zero.
    const auto requests = ModifyRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(RecordOf(requests[0]), LoggedRecorder("127.26.0.50", "255.255.0.0", "127.26.0.1"));
    EXPECT_EQ(JsonField(requests[0], "answer"), "Ok");

    // The list shows what the device reported until the next pass, which finds it moved.
    EXPECT_EQ(Cell(row, 3), "127.26.0.2");
    ASSERT_TRUE(RunPass());
    const int moved = RowOf("5001NVR0001");
    ASSERT_GE(moved, 0);
    EXPECT_EQ(Cell(moved, 3), "127.26.0.50");
    EXPECT_EQ(Cell(moved, 4), "255.255.0.0");
    EXPECT_EQ(Cell(moved, 5), "127.26.0.1");
    EXPECT_EQ(Cell(RowOf("5001NVR0002"), 3), "127.26.0.3");
}

TEST_F(ModifyWindow, ColumnOneShowsTheFriendlyNameOfTheSerialPrefix) {
    // A Latin-1 code page shows every byte of a name as one character.
    const LocaleScope latin1("en_US.ISO-8859-1");
    ASSERT_TRUE(latin1.Active()) << "the en_US.ISO-8859-1 locale is missing";
    Install("Config.xml", "Config.xml");
    const auto device = [](int host, const std::string& sn, const std::string& model) {
        return "<Device><Eth0 IP=\"127.26.1." + std::to_string(host) +
               "\" DNS1=\"127.0.0.53\" DNS2=\"127.0.0.54\" /><SN A=\"" + sn + "\" /><Model A=\"" +
               model + "\" /></Device>";
    };
    OpenWith(device(2, "5001NVR0001", "NVR-7208") + device(3, "0262NVR0001", "NVR-7208") +
             device(4, "0262IPC0001", "IPC-HX1100") + device(5, "5002IPC0001", "IPC-HX1100") +
             device(6, "5003A001", "NVR-7216") + device(7, "5001DVR0001", "DVR-0400"));
    QTest::mouseClick(Control(IDC_CHECK_IPC), Qt::LeftButton);
    ASSERT_EQ(m_dialog->m_checkIPC.GetCheck(), BST_CHECKED);
    ASSERT_TRUE(RunPass());

    const struct {
        const char* sn;
        std::string column1;
    } rows[] = {
        {"5001NVR0001", "Front door recorder"},
        {"0262NVR0001", "Dome camera"},       // only an IP camera skips the table for "0262"
        {"5002IPC0001", "Caf\xe9 \xc3\xa9"},  // the file's bytes as they stand
        {"5003A001", "NVR-7216"},  // the key "5003A" is longer than the prefix: the model
    };
    EXPECT_EQ(m_dialog->m_deviceList.GetItemCount(), 5);  // the DVR box is not ticked
    for (const auto& r : rows) {
        const int row = RowOf(r.sn);
        ASSERT_GE(row, 0) << r.sn;
        EXPECT_EQ(Cell(row, 1), r.column1) << r.sn;
    }
    // The "0262" camera's column 1 is left to its sensor query, never the table's name.
    const int camera = RowOf("0262IPC0001");
    ASSERT_GE(camera, 0);
    const std::string label = Cell(camera, 1);
    EXPECT_TRUE(label.empty() || label == "QEMA 1Mpx" || label == "QEMA 1.3Mpx") << label;
    EXPECT_EQ(RowOf("5001DVR0001"), -1);
}

}  // namespace
