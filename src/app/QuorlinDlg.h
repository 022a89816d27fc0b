// QuorlinDlg.h: the main dialog, owner of every piece of the tool's state for the whole run.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

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

    // The discovery document of a new pass (control thread), and one stored report recorded in
    // `dlg`'s document (callback thread).
    void ResetDiscoveryDocument();
    static void AppendDeviceNode(const DiscoveredDevice& report, CQuorlinDlg* dlg);

    // The pass completion check, run by the worker and every sensor query thread of the pass
    // `generation`: sends WM_DISCOVERY_DONE once that pass has delivered all it stored.
    void CheckPassCompletion(uint32_t generation);
    // The pass that is current (raised by every press of "Discovery"), and whether its end has
    // been signalled.
    uint32_t PassGeneration() const { return m_passState.load() >> 1; }
    bool IsPassDone() const { return (m_passState.load() & kPassDone) != 0; }

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
    // The done flag and the pass generation in one word: generation * 2, plus kPassDone once
    // WM_DISCOVERY_DONE has been sent for that pass (see CheckPassCompletion).
    static constexpr uint32_t kPassDone = 1;
    std::atomic<uint32_t> m_passState;
    // Sensor query threads asked to stop that may not have ended yet (GUI thread only).
    std::vector<HANDLE> m_endedSensorThreads;

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
    // Asks every sensor query thread to stop, without waiting, and empties its handle.
    void EndSensorThreads();
    // Waits up to `milliseconds` for the ended sensor query threads; releases those that ended.
    void ReleaseEndedSensorThreads(DWORD milliseconds);
    // Puts the loaded language texts on the window: title, the ten columns, five controls.
    void ApplyLanguageTexts();
};

// The main dialog, for the threads that reach it without a parameter; set once the window has
// opened, never cleared.
extern std::atomic<CQuorlinDlg*> g_quorlinDlg;
