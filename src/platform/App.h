// App.h: the application object and the program's entry.
#pragma once

#include "Dialog.h"

class CWinApp : public CCmdTarget {
public:
    // One application object per program; it registers itself as AfxGetApp().
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The icon resource `id`, or nullptr.
    HICON LoadIcon(UINT id) const;
    void SetRegistryKey(LPCSTR key);
    // The help command's default handler; the program has no help file, so it does nothing.
    void OnHelp() {}

    CWnd* m_pMainWnd = nullptr;
    std::string m_appName;
    std::string m_registryKey;
};

CWinApp* AfxGetApp();
void AfxEnableControlContainer();
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// Runs the application object: starts the window system, InitInstance, then ends the layer
// (pending sends released, running threads asked to stop and given a moment to end). Returns the
// process exit code. SIGTERM, SIGINT and SIGHUP send WM_CLOSE to the main window.
int AfxWinMain(int argc, char** argv);
