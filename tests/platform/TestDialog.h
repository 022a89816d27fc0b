// TestDialog.h: a dialog of the layer tests' own template (200) that records what reaches it.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "Dialog.h"
#include "Testing.h"

constexpr UINT kTemplate = 200;
constexpr int kListId = 10;
constexpr int kPressId = 11;
constexpr int kTickId = 12;
constexpr int kEditId = 13;
constexpr UINT WM_PING = WM_USER + 1;

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTemplate) {}

    CListCtrl m_list;
    CButton m_tick;
    std::atomic<int> m_pings{0};
    std::thread::id m_pingThread;
    int m_presses = 0;
    int m_ticks = 0;
    std::vector<NMLISTVIEW> m_changes;
    std::vector<UINT> m_sysCommands;
    bool m_swallowKeys = false;

    BOOL PreTranslateMessage(MSG* message) override {
        return m_swallowKeys && message->message == WM_KEYDOWN ? TRUE : FALSE;
    }

protected:
    void DoDataExchange(CDataExchange* exchange) override {
        DDX_Control(exchange, kListId, m_list);
        DDX_Control(exchange, kTickId, m_tick);
    }
    LRESULT OnPing(WPARAM wParam, LPARAM) {
        ++m_pings;
        m_pingThread = std::this_thread::get_id();
        return static_cast<LRESULT>(wParam * 2);
    }
    void OnPress() { ++m_presses; }
    void OnTick() { ++m_ticks; }
    void OnListChanged(NMHDR* header, LRESULT* result) {
        m_changes.push_back(*reinterpret_cast<NMLISTVIEW*>(header));
        *result = 0;
    }
    void OnSysCommand(UINT id, LPARAM lParam) {
        m_sysCommands.push_back(id);
        CDialog::OnSysCommand(id, lParam);
    }

    DECLARE_MESSAGE_MAP()
};
