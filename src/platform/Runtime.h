// Runtime.h (private to the layer): the GUI thread, the window registry and the send queue.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Window.h"

class QObject;

namespace platform {

struct ThreadState;
struct ListViewState;

enum class WindowKind { Dialog, ListView, PushButton, CheckBox, Edit, Static, GroupBox, Icon };

struct MenuItem {
    UINT id;  // 0 for a separator
    std::string text;
};

// One live window. Owned by the registry; touched only on the GUI thread.
struct WindowRecord {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Static;
    int id = -1;
    HWND parent = nullptr;
    QPointer<QWidget> widget;
    CWnd* attached = nullptr;          // the object bound to this window, if any
    std::unique_ptr<CWnd> ownWrapper;  // what GetDlgItem hands out when nothing is bound
    std::unique_ptr<ListViewState> list;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::vector<MenuItem> systemMenu;
    std::unique_ptr<CMenu> systemMenuObject;
    int baseUnitX = 0;  // dialog units of the dialog font
    int baseUnitY = 0;
    ~WindowRecord();
};

class Runtime {
public:
    static Runtime& Get();

    // The calling thread becomes the GUI thread; a QApplication must exist.
    void StartGui();
    // Ends the layer: every waiting sender is released with 0 and later sends return 0 at once.
    void ShutDown();
    bool IsShutDown();
    bool IsGuiThread();

    HWND Register(std::unique_ptr<WindowRecord> record);
    // Releases the window's waiting senders with 0; the widget itself is left to the caller.
    void Unregister(HWND handle);
    WindowRecord* Find(HWND handle);
    bool IsLive(HWND handle);
    std::vector<HWND> ChildrenOf(HWND parent);

    // Runs `operation` on the GUI thread for `target` (null: for no window in particular) and
    // returns its result: at once on the GUI thread, otherwise queued and waited for. 0 when the
    // window is gone, the layer is shut down, or the calling thread's stop has been requested.
    LRESULT Call(HWND target, const std::function<LRESULT()>& operation);
    // Carries out the queued calls (GUI thread). With `batch`, also those that come in while it
    // runs, for a bounded time, so that the window is painted once per batch of sends.
    void CarryOutPending(bool batch);
    // Releases the calls queued by a thread whose stop has been requested.
    void AbandonCallsOf(const ThreadState* sender);
    // Waits on the GUI thread until `done` holds or the time is up, carrying out queued calls
    // meanwhile; nothing else is dispatched. `done` is evaluated with the runtime's lock held.
    bool WaitOnGui(const std::function<bool()>& done, DWORD milliseconds);
    // Wakes a GUI thread waiting in WaitOnGui so that it evaluates its condition again.
    void WakeGui();

private:
    struct Pending {
        HWND target;
        std::function<LRESULT()> operation;
        std::shared_ptr<ThreadState> sender;
        std::promise<LRESULT> promise;
    };
    void PostDrainLocked();
    // Removes the queued calls that match from the queue; the caller releases them with 0
    // once the lock is let go.
    std::vector<std::unique_ptr<Pending>> TakePendingLocked(
        const std::function<bool(const Pending&)>& matches);

    std::mutex m_mutex;
    std::condition_variable m_guiWake;
    std::map<uintptr_t, std::unique_ptr<WindowRecord>> m_windows;
    uintptr_t m_nextHandle = 0x1000;
    std::deque<std::unique_ptr<Pending>> m_pending;
    std::vector<std::unique_ptr<CWnd>> m_retiredWrappers;
    QObject* m_dispatcher = nullptr;
    bool m_drainPosted = false;
    bool m_started = false;
    bool m_shutDown = false;
    std::thread::id m_guiThread;
};

// Dispatches a message to a window's procedure on the GUI thread.
LRESULT Dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of the layer's own controls (and the default of every window).
LRESULT ControlProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam);

// Window texts are bytes in the locale's code page; Qt holds Unicode.
QString FromAnsi(const char* text);
std::string ToAnsi(const QString& text);

// Thread state of the calling thread, or null on a thread the layer did not start.
std::shared_ptr<ThreadState> CurrentThreadState();
bool StopRequested(const ThreadState* state);

}  // namespace platform

class CDialog;
namespace platform {
// Runs the tests' hook, if one is set, for a dialog that has just been shown.
void RunDialogShownHook(CDialog& dialog);
}  // namespace platform
