// QuorlinDlg.h: the main dialog, owner of every piece of the tool's state for the whole run.
#pragma once

#include <atomic>
#include <cstdint>

#include "DeviceRecord.h"
#include "Dialog.h"
#include "DiscoveryDocument.h"
#include "LanguageTexts.h"
#include "NameTable.h"
#include "Threads.h"
#include "ZQ_NetSDK.h"

// Sent once per discovery pass, when it is over; re-enables the controls.
constexpr UINT WM_DISCOVERY_DONE = WM_USER + 100;

// The number of columns of the device list and their built-in titles and widths.
constexpr int kDeviceListColumns = 10;
extern const char* const kBuiltInColumnTitles[kDeviceListColumns];
extern const int kDeviceListColumnWidths[kDeviceListColumns];

class CQuorlinDlg : public CDialog {
public:
    CQuorlinDlg();
    ~CQuorlinDlg() override;

    // Shows a slot's device in row slot.row; `column1` is the text of column 1.
    void AddDeviceRow(const DeviceSlot& slot, const char* column1);
    // Enables or disables the type check boxes, "Discovery", the three edit boxes and "Modify".
    void EnableControls(BOOL enable);

    // Enter and Esc would end the dialog without its close sequence; they are kept from it.
    BOOL PreTranslateMessage(MSG* message) override;

    HICON m_hIcon;
    CListCtrl m_deviceList;
    DiscoveryDocument m_discoveryDocument;
    DiscoveredDevice m_currentRecord;
    CRITICAL_SECTION m_lock;
    NameTable m_nameTable;
    LanguageTexts m_languageTexts;
    std::atomic<int32_t> m_runFlag;
    std::atomic<int32_t> m_restartRequest;
    std::atomic<int32_t> m_stopRequest;
    std::atomic<int32_t> m_slotCount;
    std::atomic<int32_t> m_expectedCount;
    CButton m_checkDVR;
    CButton m_checkIPC;
    CButton m_checkDEC;
    CButton m_checkNVR;
    HANDLE m_controlThread;
    HANDLE m_workerThread;
    HANDLE m_sensorThreads[kMaxDeviceSlots];
    DeviceSlot m_slots[kMaxDeviceSlots];
    std::atomic<int32_t> m_reportedCount;
    std::atomic<bool> m_done;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDiscovery();
    void OnModify();
    void OnClose();
    void OnDeviceListItemChanged(NMHDR* notify, LRESULT* result);
    LRESULT OnDiscoveryDone(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void SetUpDeviceList();
    void InsertBuiltInColumns();
    // Puts the loaded language texts on the window: title, the ten columns, five controls.
    void ApplyLanguageTexts();
};

// The main dialog, for the threads that reach it without a parameter; set once the window has
// opened, never cleared.
extern std::atomic<CQuorlinDlg*> g_quorlinDlg;
