#include "QuorlinApp.h"

#include "QuorlinDlg.h"
#include "Threads.h"

namespace {

// How long the end of the run waits for threads still inside an SDK call.
constexpr DWORD kThreadsEndMilliseconds = 30000;

}  // namespace

BEGIN_MESSAGE_MAP(CQuorlinApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CQuorlinApp::CQuorlinApp() : CWinApp(nullptr) {}

BOOL CQuorlinApp::InitInstance() {
    INITCOMMONCONTROLSEX initControls;
    initControls.dwSize = sizeof(initControls);
    initControls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&initControls);

    CWinApp::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey("Local AppWizard-Generated Applications");

    {
        CQuorlinDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        // The close sequence has asked the remaining threads to stop; they end before the
        // dialog they use is destroyed.
        StopAndWaitForAllThreads(kThreadsEndMilliseconds);
    }
    // The dialog has ended: end the application without a message loop of its own.
    return FALSE;
}
