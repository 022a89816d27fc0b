#include "App.h"

#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "Icons.h"
#include "Resources.h"
#include "Runtime.h"
#include "Threads.h"

namespace {

CWinApp* gApp = nullptr;

// How long the end of the run gives threads that were asked to stop (an SDK call in flight
// is left to finish).
constexpr DWORD kThreadsEndMilliseconds = 10000;

}  // namespace

CWinApp::CWinApp(LPCSTR appName) {
    // Without a name the program's own file name is taken.
    m_appName = appName ? appName : program_invocation_short_name;
    gApp = this;
}

CWinApp::~CWinApp() {
    if (gApp == this)
        gApp = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT id) const {
    const std::optional<QString> path = platform::FindIconPath(id);
    if (!path)
        return nullptr;
    const QString file = *path;
    return reinterpret_cast<HICON>(platform::Runtime::Get().Call(nullptr, [file]() -> LRESULT {
        return reinterpret_cast<LRESULT>(platform::LoadIconFile(file, GetSystemMetrics(SM_CXICON),
                                                                GetSystemMetrics(SM_CYICON), true));
    }));
}

void CWinApp::SetRegistryKey(LPCSTR key) {
    // Recorded only: nothing is read from or written to any settings store.
    m_registryKey = key ? key : "";
}

CWinApp* AfxGetApp() {
    return gApp;
}

void AfxEnableControlContainer() {}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    return init != nullptr && init->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

namespace {

int gSignalPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the main window as its close button does, so that the close
// sequence runs (threads stopped, the SDK cleaned up) before the program ends.
void CloseOnEndSignals(CWinApp* app) {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [app] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (app->m_pMainWnd != nullptr && IsWindow(app->m_pMainWnd->m_hWnd))
            ::SendMessage(app->m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
        else
            QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

}  // namespace

int AfxWinMain(int argc, char** argv) {
    QApplication application(argc, argv);
    platform::Runtime& runtime = platform::Runtime::Get();
    runtime.StartGui();
    CWinApp* app = AfxGetApp();
    if (app != nullptr)
        CloseOnEndSignals(app);
    int code = 1;
    if (app != nullptr) {
        if (app->InitInstance())
            QApplication::exec();
        code = app->ExitInstance();
    }
    runtime.ShutDown();
    StopAndWaitForAllThreads(kThreadsEndMilliseconds);
    return code;
}
