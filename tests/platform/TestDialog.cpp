#include "TestDialog.h"

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_MESSAGE(WM_PING, &TestDialog::OnPing)
ON_BN_CLICKED(kPressId, &TestDialog::OnPress)
ON_BN_CLICKED(kTickId, &TestDialog::OnTick)
ON_NOTIFY(LVN_ITEMCHANGED, kListId, &TestDialog::OnListChanged)
END_MESSAGE_MAP()
