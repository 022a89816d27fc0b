// LanguageApply.cpp: the texts of "language.xml" put on the main window.
#include "QuorlinDlg.h"
#include "Resource.h"

// Every text is applied, also an empty one: a file that loads replaces the template's texts
// and the built-in column titles whole.
void CQuorlinDlg::ApplyLanguageTexts() {
    SetWindowText(m_languageTexts.title.c_str());

    for (int column = 0; column < kDeviceListColumns; ++column)
        m_deviceList.InsertColumn(column, m_languageTexts.columnTitles[column].c_str(), LVCFMT_LEFT,
                                  kDeviceListColumnWidths[column]);

    static constexpr int kRetitledControls[LanguageTexts::kControlTextCount] = {
        IDC_DISCOVERY, IDC_LABEL_LOCAL_IP, IDC_LABEL_NETMASK, IDC_LABEL_GATEWAY, IDC_MODIFY};
    for (std::size_t i = 0; i < LanguageTexts::kControlTextCount; ++i)
        if (CWnd* control = GetDlgItem(kRetitledControls[i]))
            control->SetWindowText(m_languageTexts.controlTexts[i].c_str());
}
