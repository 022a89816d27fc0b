// The main window under the offscreen platform, with the real SDK: its opening state, the
// About box, the device list rows, the controls around a pass, the close sequence, painting
// while minimised and a screenshot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>

#include <unistd.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "QuorlinApp.h"
#include "QuorlinDlg.h"
#include "Resource.h"
#include "TestFolder.h"
#include "Testing.h"
#include "Threads.h"

// The SDK calls of the window are recorded on their way to the real library (the test program
// is linked with --wrap for these three).
namespace {
std::mutex gSdkCallsMutex;
std::vector<std::string> gSdkCalls;
void RecordSdkCall(const char* name) {
    std::lock_guard lock(gSdkCallsMutex);
    gSdkCalls.emplace_back(name);
}
std::vector<std::string> TakeSdkCalls() {
    std::lock_guard lock(gSdkCallsMutex);
    return std::exchange(gSdkCalls, {});
}
}  // namespace

extern "C" {
int __real_ZQ_NET_DVR_Init(void);
int __real_ZQ_NET_DVR_StopDiscoveryIPC(void);
int __real_ZQ_NET_DVR_Cleanup(void);
int __wrap_ZQ_NET_DVR_Init(void) {
    RecordSdkCall("Init");
    return __real_ZQ_NET_DVR_Init();
}
int __wrap_ZQ_NET_DVR_StopDiscoveryIPC(void) {
    RecordSdkCall("StopDiscoveryIPC");
    return __real_ZQ_NET_DVR_StopDiscoveryIPC();
}
int __wrap_ZQ_NET_DVR_Cleanup(void) {
    RecordSdkCall("Cleanup");
    return __real_ZQ_NET_DVR_Cleanup();
}
}

namespace {

namespace fs = std::filesystem;
using platform::testing::WidgetOf;

constexpr int kNineControls[] = {IDC_CHECK_DVR, IDC_CHECK_IPC, IDC_CHECK_DEC,
                                 IDC_CHECK_NVR, IDC_DISCOVERY, IDC_LOCAL_IP,
                                 IDC_NETMASK,   IDC_GATEWAY,   IDC_MODIFY};
constexpr int kNeverDisabled[] = {IDC_DEVICE_LIST, IDC_LABEL_LOCAL_IP, IDC_LABEL_NETMASK,
                                  IDC_LABEL_GATEWAY};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // The program runs from a folder holding res/Quorlin.ico.
        m_previous = fs::current_path();
        m_folder = quorlin::test::EnterFreshTestFolder("quorlin-app-");
        fs::create_directories(m_folder / "res");
        if (WithIconFile())
            fs::copy_file(fs::path(QUORLIN_SOURCE_DIR) / "res" / "Quorlin.ico",
                          m_folder / "res" / "Quorlin.ico", fs::copy_options::overwrite_existing);
        TakeSdkCalls();
    }

    void TearDown() override {
        if (m_dialog && IsWindow(m_dialog->m_hWnd) && m_dialog->IsWindowVisible())
            m_dialog->SendMessage(WM_CLOSE);
        m_dialog.reset();
        EXPECT_TRUE(StopAndWaitForAllThreads(30000));
        platform::testing::SetDialogShownHook({});
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
    }

    virtual bool WithIconFile() const { return true; }

    // The main dialog, opened without a modal loop of its own.
    CQuorlinDlg& Open() {
        m_dialog = std::make_unique<CQuorlinDlg>();
        EXPECT_TRUE(m_dialog->Create(IDD_QUORLIN_DIALOG));
        return *m_dialog;
    }

    QWidget* Control(int id) { return WidgetOf(::GetDlgItem(m_dialog->m_hWnd, id)); }

    platform::testing::GuiSession m_session;
    CQuorlinApp m_app;
    std::unique_ptr<CQuorlinDlg> m_dialog;
    fs::path m_previous;
    fs::path m_folder;
};

TEST_F(MainWindow, OpensWithOnlyNvrTickedEverythingEnabledAndTheBuiltInColumns) {
    CQuorlinDlg& dlg = Open();
    CString title;
    dlg.GetWindowText(title);
    EXPECT_EQ(title.str(), "Quorlin V3.0 Build 20150120");

    EXPECT_EQ(dlg.m_checkDVR.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.m_checkIPC.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.m_checkDEC.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.m_checkNVR.GetCheck(), BST_CHECKED);
    for (int id : kNineControls)
        EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;
    for (int id : kNeverDisabled)
        EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;

    EXPECT_EQ(dlg.m_deviceList.GetItemCount(), 0);
    const struct {
        const char* title;
        int width;
    } columns[] = {{"SN", 140},      {"Model", 80},    {"MAC", 120},        {"LocalIP", 110},
                   {"NetMask", 110}, {"Gateway", 110}, {"ControlPort", 80}, {"HttpPort", 80},
                   {"RtspPort", 80}, {"Version", 120}};
    ASSERT_EQ(dlg.m_deviceList.GetColumnCount(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(dlg.m_deviceList.GetColumnText(i).str(), columns[i].title) << i;
        EXPECT_EQ(dlg.m_deviceList.GetColumnWidth(i), columns[i].width) << i;
    }
    EXPECT_EQ(dlg.m_deviceList.GetExtendedStyle(), 0x21u);
    EXPECT_EQ(dlg.m_deviceList.GetBkColor(), 0xFFF7F7u);
    EXPECT_EQ(dlg.m_deviceList.GetTextColor(), 0xFF0000u);
    EXPECT_EQ(dlg.m_deviceList.GetTextBkColor(), 0xFFF7F7u);

    // The About item closes the system menu.
    CMenu* menu = dlg.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = menu->GetMenuItemCount();
    ASSERT_GE(count, 2);
    EXPECT_EQ(menu->GetMenuItemID(count - 2), 0u);
    EXPECT_EQ(menu->GetMenuItemID(count - 1), 16u);
    EXPECT_EQ(menu->GetMenuString(count - 1).str(), "&About Quorlin...");

    // Icons from the file: the handle kept is the small one.
    EXPECT_NE(dlg.GetIcon(TRUE), nullptr);
    EXPECT_NE(dlg.GetIcon(FALSE), nullptr);
    EXPECT_EQ(dlg.m_hIcon, dlg.GetIcon(FALSE));
    const QList<QSize> sizes = WidgetOf(dlg.m_hWnd)->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));

    // The focus goes to the list; nothing has started.
    EXPECT_EQ(WidgetOf(dlg.m_hWnd)->focusWidget(), Control(IDC_DEVICE_LIST));
    EXPECT_EQ(dlg.m_workerThread, nullptr);
    EXPECT_EQ(dlg.m_runFlag, 1);
    EXPECT_EQ(dlg.m_restartRequest, 0);
    EXPECT_EQ(dlg.m_stopRequest, 0);
    EXPECT_EQ(g_quorlinDlg.load(), &dlg);
    const DiscoveredDevice zero{};
    EXPECT_EQ(std::memcmp(&dlg.m_currentRecord, &zero, sizeof zero), 0);
    EXPECT_FALSE(dlg.m_discoveryDocument.Exists());
}

class MainWindowWithoutIconFile : public MainWindow {
protected:
    bool WithIconFile() const override { return false; }
};

TEST_F(MainWindowWithoutIconFile, OpensWithNoIconAndNoMessage) {
    platform::testing::RecordMessageBoxes(true);
    CQuorlinDlg& dlg = Open();
    platform::testing::RecordMessageBoxes(false);
    EXPECT_TRUE(platform::testing::TakeMessageBoxes().empty());
    EXPECT_EQ(dlg.GetIcon(TRUE), nullptr);
    EXPECT_EQ(dlg.GetIcon(FALSE), nullptr);
    EXPECT_EQ(dlg.m_hIcon, nullptr);
    EXPECT_TRUE(dlg.IsWindowVisible());
}

TEST_F(MainWindow, SystemCommandSixteenPlusAnyLowBitsOpensTheAboutBox) {
    CQuorlinDlg& dlg = Open();
    const struct {
        UINT command;
        bool opens;
    } cases[] = {{16, true},  {17, true},  {23, true},      {31, true},
                 {32, false}, {15, false}, {SC_MOVE, false}};
    for (const auto& c : cases) {
        int shown = 0;
        std::string caption, line;
        platform::testing::SetDialogShownHook([&](CDialog& about) {
            ++shown;
            CString text;
            about.GetWindowText(text);
            caption = text.str();
            QTest::mouseClick(WidgetOf(::GetDlgItem(about.m_hWnd, IDOK)), Qt::LeftButton);
        });
        dlg.SendMessage(WM_SYSCOMMAND, c.command, 0);
        platform::testing::SetDialogShownHook({});
        EXPECT_EQ(shown, c.opens ? 1 : 0) << c.command;
        if (c.opens) {
            EXPECT_EQ(caption, "About Quorlin") << c.command;
        }
        EXPECT_TRUE(dlg.IsWindowVisible()) << c.command;
    }
}

TEST_F(MainWindow, TheAboutItemOfTheRightClickMenuOpensTheAboutBox) {
    CQuorlinDlg& dlg = Open();
    int shown = 0;
    platform::testing::SetDialogShownHook([&](CDialog& about) {
        ++shown;
        about.EndDialog(IDOK);
    });
    QWidget* window = WidgetOf(dlg.m_hWnd);
    platform::testing::OpenSystemMenu(dlg.m_hWnd, 5, window->height() - 3);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    QAction* about = nullptr;
    for (QAction* action : popup->actions())
        if (action->text() == "&About Quorlin...")
            about = action;
    ASSERT_NE(about, nullptr);
    about->trigger();
    popup->close();
    EXPECT_EQ(shown, 1);
}

DeviceSlot MakeSlot(int row, const char* sn, const char* ip, uint16_t port, uint32_t version,
                    uint32_t buildDate, std::array<uint8_t, 6> mac) {
    DeviceSlot slot{};
    slot.row = row;
    SetFieldText(slot.device.SN, sn);
    SetFieldText(slot.device.Eth0.IP, ip);
    SetFieldText(slot.device.Eth0.Mask, "255.255.255.0");
    SetFieldText(slot.device.Eth0.GW, "127.0.0.254");
    std::copy(mac.begin(), mac.end(), slot.device.Eth0.MAC);
    slot.device.Port.Private = port;
    slot.device.Port.Http = 80;
    slot.device.Port.Rtsp = 554;
    slot.device.Version = version;
    slot.device.BuildDate = buildDate;
    return slot;
}

TEST_F(MainWindow, AddDeviceRowShowsTheSlotInTenColumns) {
    CQuorlinDlg& dlg = Open();
    const struct {
        DeviceSlot slot;
        const char* column1;
        std::vector<std::string> cells;
    } cases[] = {
        {MakeSlot(0, "NVR0001", "127.0.0.2", 8000, (3u << 16) | 2, (2015u << 16) | (1 << 8) | 20,
                  {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}),
         "Front door",
         {"NVR0001", "Front door", "00:1a:2b:3c:4d:5e", "127.0.0.2", "255.255.255.0", "127.0.0.254",
          "8000", "80", "554", "V3.2 build 2015-01-20"}},
        {MakeSlot(1, "0262ABCD", "127.0.0.3", 65535, 0, 0, {0, 0, 0, 0, 0, 171}),
         "",
         {"0262ABCD", "", "00:00:00:00:00:ab", "127.0.0.3", "255.255.255.0", "127.0.0.254", "65535",
          "80", "554", "V0.0 build 0000-00-00"}},
    };
    for (const auto& c : cases)
        dlg.AddDeviceRow(c.slot, c.column1);
    ASSERT_EQ(dlg.m_deviceList.GetItemCount(), 2);
    for (const auto& c : cases)
        for (int column = 0; column < 10; ++column)
            EXPECT_EQ(dlg.m_deviceList.GetItemText(c.slot.row, column).str(), c.cells[column])
                << "row " << c.slot.row << " column " << column;

    // A serial number that fills its 48 bytes without a terminator is shown within them.
    DeviceSlot full = MakeSlot(2, "", "127.0.0.4", 1, 0, 0, {});
    std::memset(full.device.SN, 'S', sizeof full.device.SN);
    dlg.AddDeviceRow(full, "x");
    EXPECT_EQ(dlg.m_deviceList.GetItemText(2, 0).str(), std::string(48, 'S'));
}

TEST_F(MainWindow, EnableControlsTogglesTheNineControlsButNeverTheList) {
    CQuorlinDlg& dlg = Open();
    dlg.EnableControls(FALSE);
    for (int id : kNineControls)
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    for (int id : kNeverDisabled)
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
    dlg.EnableControls(TRUE);
    for (int id : kNineControls)
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
}

TEST_F(MainWindow, DiscoveryDoneSentFromAnotherThreadReEnablesTheControls) {
    CQuorlinDlg& dlg = Open();
    dlg.EnableControls(FALSE);
    struct Job {
        HWND window;
        std::atomic<LRESULT> result{-1};
    } job{dlg.m_hWnd};
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* j = static_cast<Job*>(p);
            j->result = SendMessage(j->window, WM_DISCOVERY_DONE, 0, 0);
            return 0;
        },
        &job, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(worker, 60000), WAIT_OBJECT_0);
    CloseHandle(worker);
    EXPECT_EQ(job.result, 0);
    for (int id : kNineControls)
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
}

TEST_F(MainWindow, EnterAndEscapeDoNotEndTheDialog) {
    CQuorlinDlg dlg;
    bool openAfterKeys = false;
    platform::testing::SetDialogShownHook([&](CDialog& d) {
        for (int id : {IDC_DEVICE_LIST, IDC_LOCAL_IP, IDC_CHECK_NVR}) {
            QWidget* control = WidgetOf(::GetDlgItem(d.m_hWnd, id));
            QTest::keyClick(control, Qt::Key_Escape);
            QTest::keyClick(control, Qt::Key_Return);
        }
        openAfterKeys = WidgetOf(d.m_hWnd)->isVisible();
        d.SendMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(openAfterKeys);
}

TEST_F(MainWindow, TheCloseSequenceStopsThenCleansUpTheSdkOnceEachWithoutAnyPass) {
    CQuorlinDlg dlg;
    platform::testing::SetDialogShownHook([](CDialog& d) { d.SendMessage(WM_CLOSE); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(TakeSdkCalls(), (std::vector<std::string>{"Init", "StopDiscoveryIPC", "Cleanup"}));
    EXPECT_EQ(dlg.m_controlThread, nullptr);
    EXPECT_EQ(dlg.m_workerThread, nullptr);
    for (HANDLE handle : dlg.m_sensorThreads)
        EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(dlg.m_discoveryDocument.Exists());
    EXPECT_EQ(dlg.m_runFlag, 0);
    EXPECT_EQ(dlg.m_stopRequest, 1);
}

// Threads shaped as the discovery ones: a control thread polling the run flag, a worker that
// signals its pass to the window while the close sequence waits for it, and sensor threads that
// keep writing into the list until they are stopped.
DWORD ControlLike(LPVOID p) {
    auto* dlg = static_cast<CQuorlinDlg*>(p);
    while (dlg->m_runFlag)
        Sleep(40);
    return 0;
}

DWORD WorkerLike(LPVOID p) {
    auto* dlg = static_cast<CQuorlinDlg*>(p);
    while (!dlg->m_stopRequest)
        Sleep(5);
    EnterCriticalSection(&dlg->m_lock);
    dlg->SendMessage(WM_DISCOVERY_DONE, 0, 0);
    LeaveCriticalSection(&dlg->m_lock);
    return 0;
}

std::atomic<int> gSensorWrites{0};
std::atomic<int> gSensorWritesAfterStop{0};

DWORD SensorLike(LPVOID p) {
    auto* dlg = static_cast<CQuorlinDlg*>(p);
    for (;;) {
        if (IsThreadStopRequested())
            return 1;
        EnterCriticalSection(&dlg->m_lock);
        // A write that starts after the stop was requested must not be carried out.
        const bool stopped = IsThreadStopRequested();
        if (dlg->m_deviceList.SetItemText(0, 1, "QEMA 1Mpx")) {
            ++gSensorWrites;
            if (stopped)
                ++gSensorWritesAfterStop;
        }
        LeaveCriticalSection(&dlg->m_lock);
        Sleep(1);
    }
}

TEST_F(MainWindow, TheCloseSequenceEndsWhileThreadsStillSendToTheWindow) {
    CQuorlinDlg dlg;
    platform::testing::SetDialogShownHook([](CDialog& d) {
        auto& q = static_cast<CQuorlinDlg&>(d);
        q.AddDeviceRow(MakeSlot(0, "0262X", "127.0.0.9", 8000, 0, 0, {}), "");
        if (q.m_controlThread == nullptr)
            q.m_controlThread = CreateThread(nullptr, 0, ControlLike, &q, 0, nullptr);
        q.m_workerThread = CreateThread(nullptr, 0, WorkerLike, &q, 0, nullptr);
        for (int i = 0; i < 3; ++i)
            q.m_sensorThreads[i * 100] = CreateThread(nullptr, 0, SensorLike, &q, 0, nullptr);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (gSensorWrites < 10 && std::chrono::steady_clock::now() < deadline)
            platform::testing::ProcessEvents(5);
        q.SendMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_GE(gSensorWrites, 10);
    EXPECT_EQ(gSensorWritesAfterStop, 0);
    EXPECT_EQ(dlg.m_controlThread, nullptr);
    EXPECT_EQ(dlg.m_workerThread, nullptr);
    for (HANDLE handle : dlg.m_sensorThreads)
        EXPECT_EQ(handle, nullptr);
    // The close sequence stops discovery and then cleans up, once; a control thread may have
    // stopped discovery before.
    const std::vector<std::string> calls = TakeSdkCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "Init");
    EXPECT_EQ(calls[calls.size() - 2], "StopDiscoveryIPC");
    EXPECT_EQ(calls.back(), "Cleanup");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Cleanup"), 1);
    // The sensor threads end by themselves, before the dialog object goes.
    EXPECT_TRUE(StopAndWaitForAllThreads(30000));
}

TEST_F(MainWindow, TheMinimisedWindowDrawsItsIconCentred) {
    CQuorlinDlg& dlg = Open();
    QWidget* window = WidgetOf(dlg.m_hWnd);
    platform::testing::TakePaintedIcons();
    dlg.SendMessage(WM_PAINT);
    EXPECT_TRUE(platform::testing::TakePaintedIcons().empty());

    window->showMinimized();
    window->setFixedSize(36, 36);
    ASSERT_TRUE(dlg.IsIconic());
    dlg.SendMessage(WM_PAINT);
    const auto painted = platform::testing::TakePaintedIcons();
    ASSERT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted[0].x, 2);
    EXPECT_EQ(painted[0].y, 2);
    EXPECT_EQ(painted[0].icon, dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
    window->showNormal();
}

TEST_F(MainWindow, AScreenshotHasTheSizeOfTheTemplate) {
    CQuorlinDlg& dlg = Open();
    platform::testing::ProcessEvents(50);
    const std::string png = std::string(QUORLIN_TEST_OUTPUT_DIR) + "/quorlin-window.png";
    int width = 0, height = 0;
    ASSERT_TRUE(platform::testing::GrabWindow(dlg.m_hWnd, png, &width, &height));
    RECT size{0, 0, 721, 304};
    ASSERT_TRUE(MapDialogRect(dlg.m_hWnd, &size));
    EXPECT_EQ(width, size.right);
    EXPECT_EQ(height, size.bottom);
    EXPECT_GT(fs::file_size(png), 1000u);
}

}  // namespace

namespace {

TEST_F(MainWindow, InitInstanceRunsTheDialogAsTheMainWindowAndEndsTheApplication) {
    bool wasMainWindow = false;
    platform::testing::SetDialogShownHook([&](CDialog& d) {
        wasMainWindow = AfxGetApp()->m_pMainWnd == &d;
        d.SendMessage(WM_CLOSE);
    });
    EXPECT_FALSE(m_app.InitInstance());
    EXPECT_TRUE(wasMainWindow);
    EXPECT_EQ(m_app.m_registryKey, "Local AppWizard-Generated Applications");
    EXPECT_EQ(m_app.m_appName, program_invocation_short_name);
    EXPECT_EQ(TakeSdkCalls(), (std::vector<std::string>{"Init", "StopDiscoveryIPC", "Cleanup"}));
    EXPECT_EQ(RunningThreadCount(), 0);
}

}  // namespace
