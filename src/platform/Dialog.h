// Dialog.h: dialogs built from the program's dialog templates, and control binding.
#pragma once

#include "Window.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds `control` to the dialog's control `id` the first time; later exchanges change nothing.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the window from the template, runs OnInitDialog, and dispatches until EndDialog.
    // Returns the value given to EndDialog, or -1 when the window could not be created.
    virtual INT_PTR DoModal();
    // Creates the window and shows it without a modal loop (tests; the caller dispatches).
    BOOL Create(UINT templateId, CWnd* parent = nullptr);

    virtual BOOL OnInitDialog();
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void EndDialog(int result);
    UINT GetTemplateId() const { return m_templateId; }

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    virtual void DoDataExchange(CDataExchange* exchange);
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    friend struct DialogAccess;
    UINT m_templateId;
    CWnd* m_parent;
    bool m_modal = false;
    bool m_ended = false;
    int m_result = 0;
};
