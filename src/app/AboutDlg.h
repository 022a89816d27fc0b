// AboutDlg.h: the About box, opened from the main dialog's system menu.
#pragma once

#include "Dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
