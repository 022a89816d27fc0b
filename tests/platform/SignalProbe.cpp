// A program of the layer's tests: runs the test dialog as its main window and tells on
// standard output whether the dialog was closed through WM_CLOSE.
#include <cstdio>

#include "App.h"
#include "TestDialog.h"

namespace {

class ProbeDialog : public TestDialog {
public:
    bool m_closed = false;

protected:
    void OnClose() {
        m_closed = true;
        CDialog::OnClose();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDialog, TestDialog)
ON_WM_CLOSE()
END_MESSAGE_MAP()

class ProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        ProbeDialog dialog;
        m_pMainWnd = &dialog;
        const INT_PTR result = dialog.DoModal();
        m_pMainWnd = nullptr;
        std::printf("%s %d\n", dialog.m_closed ? "closed" : "ended", static_cast<int>(result));
        std::fflush(stdout);
        return FALSE;
    }
};

ProbeApp theApp;

}  // namespace

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
