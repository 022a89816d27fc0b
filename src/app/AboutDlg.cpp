#include "AboutDlg.h"

#include "Resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
