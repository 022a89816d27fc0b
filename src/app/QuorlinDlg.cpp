#include "QuorlinDlg.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "AboutDlg.h"
#include "App.h"
#include "DiscoveryThreads.h"
#include "Resource.h"

std::atomic<CQuorlinDlg*> g_quorlinDlg{nullptr};

const char* const kBuiltInColumnTitles[kDeviceListColumns] = {
    "SN",      "Model",       "MAC",      "LocalIP",  "NetMask",
    "Gateway", "ControlPort", "HttpPort", "RtspPort", "Version"};
const int kDeviceListColumnWidths[kDeviceListColumns] = {140, 80, 120, 110, 110,
                                                         110, 80, 80,  80,  120};

namespace {

constexpr COLORREF kListBackground = RGB(247, 247, 255);
constexpr COLORREF kListText = RGB(0, 0, 255);

// How long the close sequence waits for ended sensor query threads to leave (they are out of
// their SDK calls within milliseconds once the SDK is cleaned up).
constexpr DWORD kSensorThreadsEndMilliseconds = 10000;

}  // namespace

CQuorlinDlg::CQuorlinDlg()
    : CDialog(IDD_QUORLIN_DIALOG, nullptr),
      m_hIcon(AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr),
      m_currentRecord{},
      m_lock{},
      m_runFlag(1),
      m_restartRequest(0),
      m_stopRequest(0),
      m_slotCount(0),
      m_expectedCount(0),
      m_controlThread(nullptr),
      m_workerThread(nullptr),
      m_reportedCount(0),
      m_passState(0) {
    for (HANDLE& handle : m_sensorThreads)
        handle = nullptr;
    std::memset(static_cast<void*>(m_slots), 0, sizeof m_slots);
}

// Releases the members only: the close sequence has stopped the threads and the SDK.
CQuorlinDlg::~CQuorlinDlg() = default;

void CQuorlinDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_DEVICE_LIST, m_deviceList);
    DDX_Control(exchange, IDC_CHECK_DVR, m_checkDVR);
    DDX_Control(exchange, IDC_CHECK_IPC, m_checkIPC);
    DDX_Control(exchange, IDC_CHECK_DEC, m_checkDEC);
    DDX_Control(exchange, IDC_CHECK_NVR, m_checkNVR);
}

BEGIN_MESSAGE_MAP(CQuorlinDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_DISCOVERY, &CQuorlinDlg::OnDiscovery)
ON_BN_CLICKED(IDC_MODIFY, &CQuorlinDlg::OnModify)
ON_WM_CLOSE()
ON_NOTIFY(LVN_ITEMCHANGED, IDC_DEVICE_LIST, &CQuorlinDlg::OnDeviceListItemChanged)
ON_MESSAGE(WM_DISCOVERY_DONE, &CQuorlinDlg::OnDiscoveryDone)
END_MESSAGE_MAP()

BOOL CQuorlinDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // The About item at the end of the system menu.
    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        CString aboutMenu;
        aboutMenu.LoadString(IDS_ABOUTBOX);
        if (!aboutMenu.IsEmpty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutMenu);
        }
    }

    // The window's icons from the icon file; the small one's handle is the one kept.
    m_hIcon = static_cast<HICON>(
        LoadImage(nullptr, "res//Quorlin.ico", IMAGE_ICON, 32, 32, LR_LOADFROMFILE | LR_SHARED));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    m_hIcon = static_cast<HICON>(
        LoadImage(nullptr, "res//Quorlin.ico", IMAGE_ICON, 16, 16, LR_LOADFROMFILE | LR_SHARED));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    LoadNameTable(m_nameTable);

    SetUpDeviceList();
    if (LoadLanguageTexts(m_languageTexts))
        ApplyLanguageTexts();
    else
        InsertBuiltInColumns();

    m_controlThread = nullptr;
    m_workerThread = nullptr;
    m_runFlag = 1;
    m_restartRequest = 0;
    m_stopRequest = 0;
    m_discoveryDocument.Delete();

    InitializeCriticalSection(&m_lock);
    std::memset(&m_currentRecord, 0, sizeof m_currentRecord);

    ZQ_NET_DVR_Init();
    ZQ_NET_DVR_SetDiscoveryCallBack(DiscoveryCallback, this);
    m_controlThread = CreateThread(nullptr, 0, DiscoveryControlThread, this, 0, nullptr);

    m_checkDVR.SendMessage(BM_SETCHECK, BST_UNCHECKED, 0);
    m_checkIPC.SendMessage(BM_SETCHECK, BST_UNCHECKED, 0);
    m_checkDEC.SendMessage(BM_SETCHECK, BST_UNCHECKED, 0);
    m_checkNVR.SendMessage(BM_SETCHECK, BST_CHECKED, 0);

    g_quorlinDlg = this;
    return TRUE;  // the focus goes to the device list
}

void CQuorlinDlg::SetUpDeviceList() {
    m_deviceList.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                             LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_deviceList.SendMessage(LVM_SETBKCOLOR, 0, kListBackground);
    m_deviceList.SendMessage(LVM_SETTEXTCOLOR, 0, kListText);
    m_deviceList.SendMessage(LVM_SETTEXTBKCOLOR, 0, kListBackground);
}

void CQuorlinDlg::InsertBuiltInColumns() {
    for (int column = 0; column < kDeviceListColumns; ++column)
        m_deviceList.InsertColumn(column, kBuiltInColumnTitles[column], LVCFMT_LEFT,
                                  kDeviceListColumnWidths[column]);
}

void CQuorlinDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(id, lParam);
    }
}

// While minimised the window shows its icon, centred in the client area.
void CQuorlinDlg::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const int cxIcon = GetSystemMetrics(SM_CXICON);
        const int cyIcon = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        const int x = (rect.Width() - cxIcon + 1) / 2;
        const int y = (rect.Height() - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CQuorlinDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CQuorlinDlg::OnClose() {
    m_stopRequest = 1;
    m_runFlag = 0;

    // These waits carry out the threads' sends to this window, so a worker that is signalling
    // its pass, or a callback asking a check box, gets its answer and can end.
    if (m_controlThread != nullptr) {
        WaitForSingleObject(m_controlThread, INFINITE);
        CloseHandle(m_controlThread);
        m_controlThread = nullptr;
    }
    if (m_workerThread != nullptr) {
        WaitForSingleObject(m_workerThread, INFINITE);
        CloseHandle(m_workerThread);
        m_workerThread = nullptr;
    }

    ZQ_NET_DVR_StopDiscoveryIPC();

    EndSensorThreads();

    ZQ_NET_DVR_Cleanup();

    // The cleanup has cut short the SDK calls the ended sensor query threads were in; they
    // still use the lock and this dialog on their way out, so they end before either goes.
    ReleaseEndedSensorThreads(kSensorThreadsEndMilliseconds);

    if (m_discoveryDocument.Exists())
        m_discoveryDocument.Delete();

    DeleteCriticalSection(&m_lock);

    CDialog::OnClose();
}

BOOL CQuorlinDlg::PreTranslateMessage(MSG* message) {
    if (message->message == WM_KEYDOWN &&
        (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

void CQuorlinDlg::AddDeviceRow(const DeviceSlot& slot, const char* column1) {
    const DiscoveredDevice& device = slot.device;
    char rowText[16];
    std::snprintf(rowText, sizeof rowText, "%d", slot.row);
    m_deviceList.InsertItem(slot.row, rowText);

    const std::string cells[kDeviceListColumns] = {std::string(FieldText(device.SN)),
                                                   column1 != nullptr ? column1 : "",
                                                   MacText(device.Eth0.MAC),
                                                   std::string(FieldText(device.Eth0.IP)),
                                                   std::string(FieldText(device.Eth0.Mask)),
                                                   std::string(FieldText(device.Eth0.GW)),
                                                   PortText(device.Port.Private),
                                                   PortText(device.Port.Http),
                                                   PortText(device.Port.Rtsp),
                                                   VersionText(device)};
    for (int column = 0; column < kDeviceListColumns; ++column)
        m_deviceList.SetItemText(slot.row, column, cells[column].c_str());
}

void CQuorlinDlg::EnableControls(BOOL enable) {
    static constexpr int kControls[] = {IDC_CHECK_DVR, IDC_CHECK_IPC, IDC_CHECK_DEC,
                                        IDC_CHECK_NVR, IDC_DISCOVERY, IDC_LOCAL_IP,
                                        IDC_NETMASK,   IDC_GATEWAY,   IDC_MODIFY};
    for (int id : kControls)
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(enable);
}

LRESULT CQuorlinDlg::OnDiscoveryDone(WPARAM, LPARAM) {
    EnableControls(TRUE);
    return 0;
}
