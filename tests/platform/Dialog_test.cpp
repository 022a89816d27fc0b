// The layer's windows under the offscreen platform: a dialog built from a template, its
// controls, the report-view list, the message map, keys, the system menu, message boxes, icons.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTest>

#include <clocale>
#include <cstring>
#include <string>

#include "App.h"
#include "TestDialog.h"
#include "Threads.h"

namespace {

using platform::testing::WidgetOf;

class LayerDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dialog.Create(kTemplate));
        m_widget = WidgetOf(m_dialog.m_hWnd);
        ASSERT_NE(m_widget, nullptr);
        m_table = static_cast<QTableWidget*>(WidgetOf(m_dialog.m_list.m_hWnd));
        ASSERT_NE(m_table, nullptr);
    }

    QWidget* Control(int id) { return WidgetOf(::GetDlgItem(m_dialog.m_hWnd, id)); }

    void FillList(int rows) {
        m_dialog.m_list.InsertColumn(0, "A", LVCFMT_LEFT, 50);
        m_dialog.m_list.InsertColumn(1, "B", LVCFMT_LEFT, 60);
        for (int r = 0; r < rows; ++r) {
            const std::string text = "row" + std::to_string(r);
            m_dialog.m_list.InsertItem(r, text.c_str());
        }
    }

    platform::testing::GuiSession m_session;
    TestDialog m_dialog;
    QWidget* m_widget = nullptr;
    QTableWidget* m_table = nullptr;
};

TEST_F(LayerDialog, ControlsArePlacedInDialogUnitsOfTheDialogFont) {
    // Base units the classic way, from the font the dialog actually uses.
    const QFontMetrics metrics(m_widget->font());
    const int baseX =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 +
         1) /
        2;
    const int baseY = metrics.height();
    EXPECT_EQ(m_widget->font().pointSize(), 8);
    struct Case {
        int id;
        RECT units;  // left, top, right, bottom
    } cases[] = {{kListId, {7, 7, 293, 127}},
                 {kPressId, {7, 140, 57, 154}},
                 {kTickId, {70, 142, 110, 152}},
                 {kEditId, {170, 140, 230, 154}},
                 {IDOK, {243, 178, 293, 192}}};
    for (const Case& c : cases) {
        RECT pixels = c.units;
        ASSERT_TRUE(MapDialogRect(m_dialog.m_hWnd, &pixels));
        EXPECT_EQ(pixels.left, (c.units.left * baseX + 2) / 4) << c.id;
        EXPECT_EQ(pixels.bottom, (c.units.bottom * baseY + 4) / 8) << c.id;
        const QRect geometry = Control(c.id)->geometry();
        EXPECT_EQ(geometry.x(), pixels.left) << c.id;
        EXPECT_EQ(geometry.y(), pixels.top) << c.id;
        EXPECT_EQ(geometry.width(), (c.units.right - c.units.left) * baseX / 4 +
                                        ((c.units.right - c.units.left) * baseX % 4 >= 2))
            << c.id;
    }
    RECT size{0, 0, 300, 200};
    MapDialogRect(m_dialog.m_hWnd, &size);
    EXPECT_EQ(m_widget->size(), QSize(size.right, size.bottom));
    // No minimise or maximise box.
    EXPECT_FALSE(m_widget->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(m_widget->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(LayerDialog, TheTabOrderIsTheTemplateOrder) {
    std::vector<QWidget*> expected = {Control(kListId), Control(kPressId), Control(kTickId),
                                      Control(kEditId), Control(IDOK)};
    QWidget* w = expected.front();
    for (std::size_t i = 1; i < expected.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(w, expected[i]) << i;
    }
}

TEST_F(LayerDialog, WindowTextsAreAnsiBytesOfTheLocale) {
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "en_US.ISO-8859-1"), nullptr)
        << "the en_US.ISO-8859-1 locale is missing";
    CWnd* edit = m_dialog.GetDlgItem(kEditId);
    edit->SetWindowText("Caf\xE9");
    EXPECT_EQ(static_cast<QLineEdit*>(Control(kEditId))->text(), QString::fromUtf8("Caf\xC3\xA9"));
    char buffer[16];
    EXPECT_EQ(edit->GetWindowText(buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "Caf\xE9");
    // Bounded: at most size - 1 bytes and a terminator.
    EXPECT_EQ(edit->GetWindowText(buffer, 3), 2);
    EXPECT_STREQ(buffer, "Ca");
    // What the code page lacks becomes its default character.
    static_cast<QLineEdit*>(Control(kEditId))->setText(QString::fromUtf8("1\xE2\x82\xAC"));
    CString text;
    edit->GetWindowText(text);
    EXPECT_EQ(text.str(), "1?");
    std::setlocale(LC_CTYPE, previous.c_str());

    m_dialog.SetWindowText("Title");
    EXPECT_EQ(m_widget->windowTitle(), "Title");
}

TEST_F(LayerDialog, EnablingAndCheckingWorkFromAnyThread) {
    struct Job {
        CButton* tick;
        CWnd* press;
        int checkSeen = -1;
    } job{&m_dialog.m_tick, m_dialog.GetDlgItem(kPressId)};
    m_dialog.m_tick.SetCheck(BST_CHECKED);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* j = static_cast<Job*>(p);
            j->checkSeen = static_cast<int>(j->tick->SendMessage(BM_GETCHECK, 0, 0));
            j->press->EnableWindow(FALSE);
            j->tick->SendMessage(BM_SETCHECK, BST_UNCHECKED, 0);
            return 0;
        },
        &job, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(job.checkSeen, BST_CHECKED);
    EXPECT_FALSE(Control(kPressId)->isEnabled());
    EXPECT_FALSE(job.press->IsWindowEnabled());
    EXPECT_EQ(m_dialog.m_tick.GetCheck(), BST_UNCHECKED);
    // Setting a check does not notify; a click does, and toggles the auto check box.
    EXPECT_EQ(m_dialog.m_ticks, 0);
    QTest::mouseClick(Control(kTickId), Qt::LeftButton);
    EXPECT_EQ(m_dialog.m_ticks, 1);
    EXPECT_EQ(m_dialog.m_tick.GetCheck(), BST_CHECKED);
    job.press->EnableWindow(TRUE);
    QTest::mouseClick(Control(kPressId), Qt::LeftButton);
    EXPECT_EQ(m_dialog.m_presses, 1);
}

TEST_F(LayerDialog, TheListKeepsColumnsItemsColoursAndStyle) {
    CListCtrl& list = m_dialog.m_list;
    // Mask 0: the value becomes the whole extended style.
    list.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, 0x4);
    list.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    EXPECT_EQ(list.GetExtendedStyle(), 0x21u);
    EXPECT_TRUE(m_table->showGrid());
    list.SetBkColor(RGB(247, 247, 255));
    list.SetTextColor(RGB(0, 0, 255));
    list.SetTextBkColor(RGB(1, 2, 3));
    EXPECT_EQ(list.GetBkColor(), 0xFFF7F7u);
    EXPECT_EQ(list.GetTextColor(), 0xFF0000u);
    EXPECT_EQ(list.GetTextBkColor(), 0x030201u);
    EXPECT_EQ(m_table->palette().color(QPalette::Base), QColor(247, 247, 255));
    EXPECT_EQ(m_table->palette().color(QPalette::Text), QColor(0, 0, 255));
    // The selection is not drawn while the list lacks the focus.
    EXPECT_EQ(m_table->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(1, 2, 3));

    EXPECT_EQ(list.InsertColumn(0, "First", LVCFMT_LEFT, 140), 0);
    EXPECT_EQ(list.InsertColumn(5, "Last", LVCFMT_LEFT, 80), 1);  // past the end: appended
    EXPECT_EQ(list.GetColumnCount(), 2);
    EXPECT_EQ(list.GetColumnText(0).str(), "First");
    EXPECT_EQ(list.GetColumnText(1).str(), "Last");
    EXPECT_EQ(list.GetColumnWidth(0), 140);
    EXPECT_EQ(list.GetColumnWidth(1), 80);

    EXPECT_EQ(list.InsertItem(0, "0"), 0);
    EXPECT_EQ(list.InsertItem(7, "1"), 1);  // past the end: appended
    EXPECT_EQ(list.InsertItem(0, "new"), 0);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(0, 0).str(), "new");
    EXPECT_EQ(list.GetItemText(1, 0).str(), "0");
    EXPECT_TRUE(list.SetItemText(2, 1, "second column"));
    EXPECT_FALSE(list.SetItemText(3, 0, "no such row"));
    EXPECT_FALSE(list.SetItemText(0, 2, "no such column"));
    EXPECT_EQ(list.GetItemText(2, 1).str(), "second column");
    EXPECT_EQ(list.GetItemText(1, 1).str(), "");

    // Into a bounded buffer: a 200-character text read into 128 bytes keeps 127.
    const std::string longText(200, 'x');
    list.SetItemText(0, 0, longText.c_str());
    char key[128];
    std::memset(key, '#', sizeof key);
    EXPECT_EQ(list.GetItemText(0, 0, key, sizeof key), 127);
    EXPECT_EQ(std::strlen(key), 127u);

    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetColumnCount(), 2);
}

TEST_F(LayerDialog, SelectedRowsAreFoundFromMinusOneAndEveryChangeIsNotified) {
    FillList(4);
    CListCtrl& list = m_dialog.m_list;
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), -1);
    m_dialog.m_changes.clear();
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_EQ(list.GetNextItem(1, LVNI_SELECTED), 2);
    EXPECT_EQ(list.GetNextItem(2, LVNI_SELECTED), -1);
    ASSERT_EQ(m_dialog.m_changes.size(), 2u);
    EXPECT_EQ(m_dialog.m_changes[0].iItem, 2);
    EXPECT_EQ(m_dialog.m_changes[0].hdr.idFrom, static_cast<UINT_PTR>(kListId));
    EXPECT_EQ(m_dialog.m_changes[0].hdr.code, LVN_ITEMCHANGED);
    EXPECT_TRUE(m_dialog.m_changes[0].uNewState & LVIS_SELECTED);
    EXPECT_FALSE(m_dialog.m_changes[0].uOldState & LVIS_SELECTED);
    EXPECT_EQ(m_dialog.m_changes[1].iItem, 1);

    // A click by the user: row 3 alone becomes selected; every state change is told.
    m_dialog.m_changes.clear();
    const QRect cell = m_table->visualRect(m_table->model()->index(3, 0));
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetNextItem(3, LVNI_SELECTED), -1);
    bool deselected1 = false, deselected2 = false, selected3 = false;
    for (const NMLISTVIEW& change : m_dialog.m_changes) {
        if (change.iItem == 1 && (change.uOldState & LVIS_SELECTED) &&
            !(change.uNewState & LVIS_SELECTED))
            deselected1 = true;
        if (change.iItem == 2 && (change.uOldState & LVIS_SELECTED) &&
            !(change.uNewState & LVIS_SELECTED))
            deselected2 = true;
        if (change.iItem == 3 && (change.uNewState & LVIS_SELECTED))
            selected3 = true;
    }
    EXPECT_TRUE(deselected1);
    EXPECT_TRUE(deselected2);
    EXPECT_TRUE(selected3);

    // Ctrl adds a row: several rows can be selected at once.
    const QRect first = m_table->visualRect(m_table->model()->index(0, 1));
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, Qt::ControlModifier, first.center());
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0);
    EXPECT_EQ(list.GetNextItem(0, LVNI_SELECTED), 3);
}

TEST_F(LayerDialog, AHeaderClickDoesNothing) {
    FillList(3);
    m_dialog.m_list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    m_dialog.m_changes.clear();
    QHeaderView* header = m_table->horizontalHeader();
    const QPoint point(header->sectionViewportPosition(1) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    EXPECT_TRUE(m_dialog.m_changes.empty());
    EXPECT_EQ(m_dialog.m_list.GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_EQ(m_dialog.m_list.GetNextItem(1, LVNI_SELECTED), -1);
    EXPECT_EQ(m_dialog.m_list.GetItemText(0, 0).str(), "row0");  // not sorted
}

TEST_F(LayerDialog, TheSystemMenuIsTheRightClickMenuAndSendsItsCommand) {
    CMenu* menu = m_dialog.GetSystemMenu(FALSE);
    ASSERT_NE(menu, nullptr);
    CString extra;
    EXPECT_TRUE(extra.LoadString(201));
    EXPECT_FALSE(CString().LoadString(202));  // empty
    EXPECT_FALSE(CString().LoadString(999));  // missing
    menu->AppendMenu(MF_SEPARATOR);
    menu->AppendMenu(MF_STRING, 0x20, extra);
    const int count = menu->GetMenuItemCount();
    EXPECT_EQ(menu->GetMenuItemID(count - 1), 0x20u);
    EXPECT_EQ(menu->GetMenuItemID(count - 2), 0u);
    EXPECT_EQ(menu->GetMenuString(count - 1).str(), "&Extra item");
    EXPECT_EQ(m_dialog.m_list.GetSystemMenu(FALSE), nullptr);

    platform::testing::OpenSystemMenu(m_dialog.m_hWnd, 5, m_widget->height() - 5);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    QAction* item = nullptr;
    for (QAction* action : popup->actions())
        if (action->text() == "&Extra item")
            item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();
    popup->close();
    ASSERT_EQ(m_dialog.m_sysCommands.size(), 1u);
    EXPECT_EQ(m_dialog.m_sysCommands[0], 0x20u);
}

TEST_F(LayerDialog, AMessageBoxIsRecordedWhenATestAsks) {
    platform::testing::RecordMessageBoxes(true);
    EXPECT_EQ(m_dialog.MessageBox("Body", "Caption", MB_OK), IDOK);
    platform::testing::RecordMessageBoxes(false);
    const auto boxes = platform::testing::TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, m_dialog.m_hWnd);
    EXPECT_EQ(boxes[0].caption, "Caption");
    EXPECT_EQ(boxes[0].text, "Body");
    EXPECT_EQ(boxes[0].type, MB_OK);
}

TEST(LayerIcons, AnIconFileIsLoadedAtTheSizeAskedForAndAMissingOneGivesNone) {
    platform::testing::GuiSession session;
    const std::string path = std::string(QUORLIN_SOURCE_DIR) + "/res/Quorlin.ico";
    auto big = static_cast<HICON>(
        LoadImage(nullptr, path.c_str(), IMAGE_ICON, 32, 32, LR_LOADFROMFILE | LR_SHARED));
    auto small = static_cast<HICON>(
        LoadImage(nullptr, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE | LR_SHARED));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(big, small);
    EXPECT_EQ(LoadImage(nullptr, path.c_str(), IMAGE_ICON, 32, 32, LR_LOADFROMFILE | LR_SHARED),
              big);
    EXPECT_EQ(LoadImage(nullptr, "no//such.ico", IMAGE_ICON, 32, 32, LR_LOADFROMFILE | LR_SHARED),
              nullptr);
}

// A modal run driven from its own event loop.
class LayerModal : public ::testing::Test {
protected:
    INT_PTR RunWith(std::function<void(CDialog&)> whenShown) {
        platform::testing::SetDialogShownHook(std::move(whenShown));
        const INT_PTR result = m_dialog.DoModal();
        platform::testing::SetDialogShownHook({});
        return result;
    }
    platform::testing::GuiSession m_session;
    TestDialog m_dialog;
};

TEST_F(LayerModal, EscapeCancelsEnterPressesTheDefaultButtonAndCloseCancels) {
    struct Case {
        const char* name;
        std::function<void(CDialog&)> action;
        INT_PTR result;
    } cases[] = {
        {"escape",
         [](CDialog& d) {
             QTest::keyClick(WidgetOf(::GetDlgItem(d.m_hWnd, kEditId)), Qt::Key_Escape);
         },
         IDCANCEL},
        {"enter in the edit box",
         [](CDialog& d) {
             QTest::keyClick(WidgetOf(::GetDlgItem(d.m_hWnd, kEditId)), Qt::Key_Return);
         },
         IDOK},
        {"WM_CLOSE", [](CDialog& d) { d.SendMessage(WM_CLOSE); }, IDCANCEL},
        {"system menu close", [](CDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); },
         IDCANCEL},
        {"OK button",
         [](CDialog& d) {
             QTest::mouseClick(WidgetOf(::GetDlgItem(d.m_hWnd, IDOK)), Qt::LeftButton);
         },
         IDOK},
    };
    for (const Case& c : cases) {
        TestDialog dialog;
        platform::testing::SetDialogShownHook(c.action);
        EXPECT_EQ(dialog.DoModal(), c.result) << c.name;
        EXPECT_EQ(dialog.m_hWnd, nullptr) << c.name;
        EXPECT_EQ(dialog.m_list.m_hWnd, nullptr) << c.name;
    }
    platform::testing::SetDialogShownHook({});
}

TEST_F(LayerModal, KeysSwallowedBeforehandDoNotEndTheDialog) {
    m_dialog.m_swallowKeys = true;
    bool stillOpen = false;
    const INT_PTR result = RunWith([&](CDialog& d) {
        QWidget* edit = WidgetOf(::GetDlgItem(d.m_hWnd, kEditId));
        QTest::keyClick(edit, Qt::Key_Escape);
        QTest::keyClick(edit, Qt::Key_Return);
        stillOpen = WidgetOf(d.m_hWnd)->isVisible();
        d.EndDialog(5);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, 5);
}

TEST_F(LayerModal, AWorkerCanSendToTheModalDialogFromItsLoop) {
    LRESULT answer = -1;
    HANDLE thread = nullptr;
    const INT_PTR result = RunWith([&](CDialog& d) {
        thread = CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                auto* dialog = static_cast<CDialog*>(p);
                const LRESULT r = dialog->SendMessage(WM_PING, 4, 0);
                dialog->EndDialog(static_cast<int>(r));
                return 0;
            },
            &d, 0, nullptr);
    });
    EXPECT_EQ(result, 8);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    (void)answer;
    EXPECT_EQ(m_dialog.m_pings, 1);
}

}  // namespace
