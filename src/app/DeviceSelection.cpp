// DeviceSelection.cpp: the discovery document's three operations on the dialog: a new document
// for each pass, one Node per stored report, and the reload of the selected row's device into
// the current record and the three edit boxes.
#include <string>

#include "QuorlinDlg.h"
#include "Resource.h"

void CQuorlinDlg::ResetDiscoveryDocument() {
    m_discoveryDocument.Reset();
}

void CQuorlinDlg::AppendDeviceNode(const DiscoveredDevice& report, CQuorlinDlg* dlg) {
    dlg->m_discoveryDocument.Append(report);
}

// Every item-changed notification, whatever it is about, reloads the first selected row.
void CQuorlinDlg::OnDeviceListItemChanged(NMHDR*, LRESULT* result) {
    const int row = m_deviceList.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    if (!m_discoveryDocument.Exists())
        return;
    if (row >= m_deviceList.GetItemCount())
        return;

    char key[DiscoveryDocument::kKeyBufferSize] = {};
    m_deviceList.GetItemText(row, 0, key, static_cast<int>(sizeof key));
    *result = 0;
    if (!m_discoveryDocument.Reload(key, m_currentRecord))
        return;

    const struct {
        int id;
        std::string text;
    } boxes[] = {{IDC_LOCAL_IP, std::string(FieldText(m_currentRecord.Eth0.IP))},
                 {IDC_NETMASK, std::string(FieldText(m_currentRecord.Eth0.Mask))},
                 {IDC_GATEWAY, std::string(FieldText(m_currentRecord.Eth0.GW))}};
    for (const auto& box : boxes)
        if (CWnd* edit = GetDlgItem(box.id))
            edit->SetWindowText(box.text.c_str());
}
