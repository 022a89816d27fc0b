// Modify.cpp: "Modify" sends the current record, with the three edited addresses, to its device.
#include "AddressRules.h"
#include "QuorlinDlg.h"
#include "Resource.h"

namespace {

// Copies the text of edit box `id` into `field`; false when the box is missing or its text
// does not fit the field (the field then keeps what it held).
bool CopyEditText(const CWnd& dialog, int id, char (&field)[16]) {
    const CWnd* box = dialog.GetDlgItem(id);
    if (box == nullptr)
        return false;
    CString text;
    box->GetWindowText(text);
    return CopyAddressText(field, text.str());
}

}  // namespace

void CQuorlinDlg::OnModify() {
    UpdateData(TRUE);

    // All three copies are made before any check, and stay in the record whatever follows. A
    // text too long for its field is refused rather than cut, since the cut text would be
    // another address.
    const bool ipCopied = CopyEditText(*this, IDC_LOCAL_IP, m_currentRecord.Eth0.IP);
    const bool maskCopied = CopyEditText(*this, IDC_NETMASK, m_currentRecord.Eth0.Mask);
    const bool gatewayCopied = CopyEditText(*this, IDC_GATEWAY, m_currentRecord.Eth0.GW);
    if (!ipCopied || !maskCopied || !gatewayCopied)
        return;

    // IP, Mask, GW, DNS1, DNS2 in that order; the first that fails ends it without a word. With
    // no row loaded the DNS fields are empty, so nothing is ever sent for an empty record.
    if (!HasValidWiredAddresses(m_currentRecord))
        return;

    const int result = ZQ_NET_DVR_ModifyIPC(&m_currentRecord);
    MessageBox(
        result != 0 ? m_languageTexts.successText.c_str() : m_languageTexts.failureText.c_str(),
        m_languageTexts.messageCaption.c_str(), MB_OK);
}
