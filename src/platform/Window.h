// Window.h: window handles, synchronous sends, the window classes and the message map.
//
// Every window belongs to the GUI thread. SendMessage and every CWnd operation may be called from
// any thread: on the GUI thread they run at once; from another thread they are queued to the GUI
// thread and the caller waits until they have been carried out. A send to a window that no longer
// exists, or made once the layer has shut down, returns 0 at once; a waiting sender is released
// with 0 when its window goes away or the layer shuts down. No thread ever waits on a GUI thread
// that has stopped dispatching.
#pragma once

#include <atomic>
#include <string>

#include "WinTypes.h"

class CWnd;
class CMenu;

// The window procedure of `window` carries out the message; its result, or 0 (see above).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
BOOL SetWindowText(HWND window, LPCSTR text);
// Copies at most `maxCount` - 1 bytes of the window text and a terminator; returns the bytes
// copied.
int GetWindowText(HWND window, LPSTR buffer, int maxCount);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
// Converts a rectangle from dialog units of `dialog`'s font to pixels.
BOOL MapDialogRect(HWND dialog, RECT* rect);
// Shows a modal message box owned by `owner` (may be null); returns the button chosen (IDOK).
int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

int GetSystemMetrics(int index);
// Loads an icon from a file (with LR_LOADFROMFILE) at cx x cy pixels. A missing or unreadable
// file gives nullptr and reports nothing. With LR_SHARED the same file and size give the same
// handle, which lives as long as the program.
HANDLE LoadImage(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

// A byte string in the system's ANSI code page.
class CString {
public:
    CString() = default;
    CString(LPCSTR text) : m_text(text ? text : "") {}
    CString(std::string text) : m_text(std::move(text)) {}
    // The string resource `id`; false (and empty) when there is none.
    BOOL LoadString(UINT id);
    bool IsEmpty() const { return m_text.empty(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    LPCSTR GetString() const { return m_text.c_str(); }
    operator LPCSTR() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }

private:
    std::string m_text;
};

// ---------------------------------------------------------------------------------------------
// Message maps.

class CCmdTarget;
using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT message;
    UINT code;  // notification code of WM_COMMAND or WM_NOTIFY
    UINT id;    // control id of WM_COMMAND or WM_NOTIFY
    AFX_PMSG handler;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*base)();
    const AFX_MSGMAP_ENTRY* entries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Finds the handler for the message in this class's map and its bases'; true when one ran.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        using ThisClass = theClass;                     \
        using TheBaseClass = baseClass;                 \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                      \
    { 0, 0, 0, nullptr }                                                       \
    }                                                                          \
    ;                                                                          \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                               \
    }

#define AFX_MSG_THIS(t) static_cast<ThisClass*>(t)

#define ON_WM_SYSCOMMAND()                                                   \
    {WM_SYSCOMMAND, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { \
         AFX_MSG_THIS(t)->OnSysCommand(static_cast<UINT>(w), l);             \
         return 0;                                                           \
     }},
#define ON_WM_PAINT()                                               \
    {WM_PAINT, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         AFX_MSG_THIS(t)->OnPaint();                                \
         return 0;                                                  \
     }},
#define ON_WM_QUERYDRAGICON()                                                  \
    {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {    \
         return reinterpret_cast<LRESULT>(AFX_MSG_THIS(t)->OnQueryDragIcon()); \
     }},
#define ON_WM_CLOSE()                                               \
    {WM_CLOSE, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         AFX_MSG_THIS(t)->OnClose();                                \
         return 0;                                                  \
     }},
#define ON_BN_CLICKED(id, memberFxn)                                                               \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         (AFX_MSG_THIS(t)->*(memberFxn))();                                                        \
         return 0;                                                                                 \
     }},
#define ON_COMMAND(id, memberFxn) ON_BN_CLICKED(id, memberFxn)
#define ON_NOTIFY(notifyCode, id, memberFxn)                                    \
    {WM_NOTIFY, static_cast<UINT>(notifyCode), static_cast<UINT>(id),           \
     [](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT {                           \
         LRESULT result = 0;                                                    \
         (AFX_MSG_THIS(t)->*(memberFxn))(reinterpret_cast<NMHDR*>(l), &result); \
         return result;                                                         \
     }},
#define ON_MESSAGE(message, memberFxn)                                                    \
    {static_cast<UINT>(message), 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { \
         return (AFX_MSG_THIS(t)->*(memberFxn))(w, l);                                    \
     }},

// ---------------------------------------------------------------------------------------------
// Windows.

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    // Atomic: the GUI thread clears it when the window goes while other threads may still be
    // reading it for a send (which then returns 0).
    std::atomic<HWND> m_hWnd{nullptr};
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    void SetWindowText(LPCSTR text);
    int GetWindowText(LPSTR buffer, int maxCount) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    void GetClientRect(LPRECT rect) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);
    HICON GetIcon(BOOL bigIcon) const;
    // The window's system menu (the dialog's right-click menu here); nullptr for a control.
    CMenu* GetSystemMenu(BOOL revert) const;
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);
    BOOL DestroyWindow();

    // Binds this object to an existing window (DDX_Control); false if it is bound already.
    BOOL SubclassWindow(HWND window);
    HWND UnsubclassWindow();

    // Called on the GUI thread with each key press before the window handles it; true swallows it.
    virtual BOOL PreTranslateMessage(MSG* message);
    // The window procedure of a window bound to this object: the message map, then the
    // default processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnClose();
};

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int check);
};

class CListCtrl : public CWnd {
public:
    DWORD SetExtendedStyle(DWORD style);
    DWORD GetExtendedStyle() const;
    BOOL SetBkColor(COLORREF color);
    COLORREF GetBkColor() const;
    BOOL SetTextColor(COLORREF color);
    COLORREF GetTextColor() const;
    BOOL SetTextBkColor(COLORREF color);
    COLORREF GetTextBkColor() const;

    int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1,
                     int subItem = -1);
    int GetColumnWidth(int column) const;
    // The title of a column, or empty when there is no such column.
    CString GetColumnText(int column) const;
    int GetColumnCount() const;

    int InsertItem(int item, LPCSTR text);
    BOOL SetItemText(int item, int subItem, LPCSTR text);
    // Copies at most `maxCount` - 1 bytes and a terminator; returns the bytes copied.
    int GetItemText(int item, int subItem, LPSTR buffer, int maxCount) const;
    CString GetItemText(int item, int subItem) const;
    BOOL DeleteAllItems();
    int GetItemCount() const;
    int GetNextItem(int start, int flags) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
};

// The dialog's system menu.
class CMenu {
public:
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr);
    int GetMenuItemCount() const;
    // The command id of item `position`, 0 for a separator, -1 when out of range.
    UINT GetMenuItemID(int position) const;
    CString GetMenuString(int position) const;

    HWND m_owner = nullptr;
};

// A device context for painting: on the window while it paints, or on a scratch surface.
class CDC {
public:
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon);

protected:
    HDC m_hDC = nullptr;
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
};
