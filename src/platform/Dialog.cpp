#include "Dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "Icons.h"
#include "ListView.h"
#include "Resources.h"
#include "Runtime.h"

using platform::Runtime;
using platform::WindowKind;
using platform::WindowRecord;

// The layer's friend inside CDialog: what the widget needs to know of its dialog object.
struct DialogAccess {
    static bool Ending(const CDialog& dialog) { return dialog.m_ended; }
};

namespace platform {

namespace {

constexpr const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The template's font, or the system's sans-serif font at the same size when it is missing.
QFont DialogFont(const DialogTemplate& t) {
    QFont font(t.fontName);
    font.setPointSize(t.fontPoints);
    if (QFontInfo(font).family().compare(t.fontName, Qt::CaseInsensitive) == 0)
        return font;
    QFont fallback = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    fallback.setStyleHint(QFont::SansSerif);
    fallback.setPointSize(t.fontPoints);
    return fallback;
}

class DialogWidget : public QDialog {
public:
    DialogWidget(QWidget* parent, CDialog* owner) : QDialog(parent), m_owner(owner) {}
    HWND handle = nullptr;

    void done(int result) override {
        // Only EndDialog ends the dialog; Qt's own ways (Esc, a close that rejects) do not.
        if (DialogAccess::Ending(*m_owner))
            QDialog::done(result);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        const bool escape = key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
        if (!enter && !escape) {
            QWidget::keyPressEvent(event);
            return;
        }
        // Enter on a push button that has the focus presses that button.
        if (enter) {
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                button->click();
                return;
            }
        }
        MSG message{handle, WM_KEYDOWN, enter ? VK_RETURN : VK_ESCAPE, 0};
        if (m_owner->PreTranslateMessage(&message))
            return;
        int id = IDCANCEL;
        if (enter) {
            id = IDOK;
            for (auto* button : findChildren<QPushButton*>())
                if (button->isDefault())
                    id = button->property("quorlinId").toInt();
        }
        ::SendMessage(handle, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
    }

    void closeEvent(QCloseEvent* event) override {
        if (DialogAccess::Ending(*m_owner)) {
            event->accept();
            return;
        }
        // The title bar's close button: the window decides through WM_CLOSE.
        event->ignore();
        ::SendMessage(handle, WM_CLOSE, 0, 0);
    }

    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        QPainter painter(this);
        PaintScope scope(this, &painter);
        Dispatch(handle, WM_PAINT, 0, 0);
    }

    // The title-bar menu belongs to the window manager here, so the dialog's system menu is
    // offered as its right-click menu.
    void contextMenuEvent(QContextMenuEvent* event) override {
        WindowRecord* record = Runtime::Get().Find(handle);
        if (record == nullptr)
            return;
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const HWND window = handle;
        for (const MenuItem& item : record->systemMenu) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(FromAnsi(item.text.c_str()));
            const UINT id = item.id;
            QObject::connect(action, &QAction::triggered, this,
                             [window, id] { ::SendMessage(window, WM_SYSCOMMAND, id, 0); });
        }
        menu->popup(event->globalPos());
    }

private:
    CDialog* m_owner;
};

void Notify(HWND dialog, int id, HWND control) {
    ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                  reinterpret_cast<LPARAM>(control));
}

// Builds the window of template `id` for `owner`; null when there is no such template.
HWND CreateDialogWindow(UINT id, CDialog* owner, CWnd* parent) {
    const DialogTemplate* t = FindDialogTemplate(id);
    if (t == nullptr)
        return nullptr;
    WindowRecord* parentRecord = parent ? Runtime::Get().Find(parent->m_hWnd) : nullptr;
    auto* widget = new DialogWidget(parentRecord ? parentRecord->widget.data() : nullptr, owner);
    widget->setAttribute(Qt::WA_DeleteOnClose, false);
    // Caption, system menu (the close button), a fixed frame: no minimise or maximise box.
    widget->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const QFont font = DialogFont(*t);
    widget->setFont(font);
    widget->setWindowTitle(t->caption);

    auto record = std::make_unique<WindowRecord>();
    record->kind = WindowKind::Dialog;
    record->widget = widget;
    record->attached = owner;
    const QFontMetrics metrics(font);
    record->baseUnitX = (metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) / 26 + 1) / 2;
    record->baseUnitY = metrics.height();
    record->systemMenu.push_back({SC_CLOSE, "&Close\tAlt+F4"});
    record->systemMenuObject = std::make_unique<CMenu>();
    const int baseX = record->baseUnitX;
    const int baseY = record->baseUnitY;
    CMenu* menu = record->systemMenuObject.get();
    const HWND dialog = Runtime::Get().Register(std::move(record));
    menu->m_owner = dialog;
    widget->handle = dialog;
    owner->m_hWnd = dialog;

    auto mapX = [baseX](int v) { return (v * baseX + 2) / 4; };
    auto mapY = [baseY](int v) { return (v * baseY + 4) / 8; };
    widget->setFixedSize(mapX(t->cx), mapY(t->cy));

    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& c : t->controls) {
        auto control = std::make_unique<WindowRecord>();
        control->id = c.id;
        control->parent = dialog;
        WindowRecord* raw = control.get();
        const HWND handle = Runtime::Get().Register(std::move(control));
        QWidget* w = nullptr;
        if (c.kind == "listview") {
            raw->kind = WindowKind::ListView;
            w = CreateListView(*raw, widget, c.HasStyle("WS_BORDER"));
        } else if (c.kind == "pushbutton" || c.kind == "defpushbutton") {
            raw->kind = WindowKind::PushButton;
            auto* button = new QPushButton(c.text, widget);
            button->setAutoDefault(false);
            button->setDefault(c.kind == "defpushbutton");
            button->setProperty("quorlinId", c.id);
            const int cid = c.id;
            QObject::connect(button, &QPushButton::clicked, button,
                             [dialog, cid, handle] { Notify(dialog, cid, handle); });
            w = button;
        } else if (c.kind == "autocheckbox") {
            raw->kind = WindowKind::CheckBox;
            auto* box = new QCheckBox(c.text, widget);
            const int cid = c.id;
            QObject::connect(box, &QCheckBox::clicked, box,
                             [dialog, cid, handle] { Notify(dialog, cid, handle); });
            w = box;
        } else if (c.kind == "edit") {
            raw->kind = WindowKind::Edit;
            auto* edit = new QLineEdit(widget);
            edit->setFrame(c.HasStyle("WS_BORDER"));
            w = edit;
        } else if (c.kind == "groupbox") {
            raw->kind = WindowKind::GroupBox;
            auto* group = new QGroupBox(c.text, widget);
            // Drawn behind the controls it frames and never takes their clicks.
            group->setAttribute(Qt::WA_TransparentForMouseEvents);
            w = group;
        } else if (c.kind == "icon") {
            raw->kind = WindowKind::Icon;
            auto* label = new QLabel(widget);
            if (const auto path = FindIconPath(static_cast<unsigned>(c.icon)))
                if (auto* icon = IconOf(LoadIconFile(*path, 32, 32, true)))
                    label->setPixmap(icon->pixmap);
            w = label;
        } else {
            raw->kind = WindowKind::Static;
            auto* label = new QLabel(c.text, widget);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
        }
        raw->widget = w;
        if (raw->kind == WindowKind::Icon)
            w->setGeometry(mapX(c.x), mapY(c.y), 32, 32);
        else
            w->setGeometry(mapX(c.x), mapY(c.y), mapX(c.cx), mapY(c.cy));
        if (raw->kind == WindowKind::GroupBox)
            w->lower();
        if (c.HasStyle("WS_TABSTOP")) {
            w->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop != nullptr)
                QWidget::setTabOrder(previousTabStop, w);
            previousTabStop = w;
        } else if (raw->kind != WindowKind::Static && raw->kind != WindowKind::GroupBox &&
                   raw->kind != WindowKind::Icon) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
    }
    return dialog;
}

void DestroyDialogWindow(HWND dialog) {
    WindowRecord* record = Runtime::Get().Find(dialog);
    if (record == nullptr)
        return;
    QWidget* widget = record->widget;
    for (HWND child : Runtime::Get().ChildrenOf(dialog))
        Runtime::Get().Unregister(child);
    Runtime::Get().Unregister(dialog);
    delete widget;
}

void FocusFirstTabStop(HWND dialog) {
    WindowRecord* record = Runtime::Get().Find(dialog);
    if (record == nullptr || !record->widget)
        return;
    if (QWidget* first = record->widget->nextInFocusChain();
        first != nullptr && first != record->widget && first->focusPolicy() & Qt::TabFocus)
        first->setFocus(Qt::OtherFocusReason);
}

}  // namespace

}  // namespace platform

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
    if (exchange == nullptr || exchange->m_pDlgWnd == nullptr || control.m_hWnd != nullptr)
        return;
    HWND item = ::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
    if (item != nullptr)
        control.SubclassWindow(item);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    if (m_hWnd != nullptr && Runtime::Get().IsGuiThread())
        platform::DestroyDialogWindow(m_hWnd);
    m_hWnd = nullptr;
}

INT_PTR CDialog::DoModal() {
    if (!Runtime::Get().IsGuiThread() || m_hWnd != nullptr)
        return -1;
    if (platform::CreateDialogWindow(m_templateId, this, m_parent) == nullptr)
        return -1;
    const HWND dialog = m_hWnd;
    m_modal = true;
    m_ended = false;
    m_result = 0;
    WindowRecord* record = Runtime::Get().Find(dialog);
    QPointer<QWidget> widget = record->widget;
    auto* qdialog = static_cast<QDialog*>(widget.data());
    if (OnInitDialog())
        platform::FocusFirstTabStop(dialog);
    if (!m_ended && widget) {
        QTimer::singleShot(0, qdialog, [this] { platform::RunDialogShownHook(*this); });
        qdialog->exec();
    }
    const int result = m_result;
    platform::DestroyDialogWindow(dialog);
    m_hWnd = nullptr;
    m_modal = false;
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (!Runtime::Get().IsGuiThread() || m_hWnd != nullptr)
        return FALSE;
    m_templateId = templateId;
    m_parent = parent;
    if (platform::CreateDialogWindow(templateId, this, parent) == nullptr)
        return FALSE;
    const HWND dialog = m_hWnd;
    m_ended = false;
    if (OnInitDialog())
        platform::FocusFirstTabStop(dialog);
    if (WindowRecord* record = Runtime::Get().Find(dialog); record && !m_ended) {
        record->widget->show();
        platform::RunDialogShownHook(*this);
    }
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::EndDialog(int result) {
    const HWND dialog = m_hWnd;
    Runtime::Get().Call(dialog, [this, dialog, result]() -> LRESULT {
        m_result = result;
        m_ended = true;
        WindowRecord* record = Runtime::Get().Find(dialog);
        if (record != nullptr && record->widget) {
            auto* widget = static_cast<QDialog*>(record->widget.data());
            widget->done(result);
            if (widget->isVisible())
                widget->hide();
        }
        return 0;
    });
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return FALSE;
    }
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = Runtime::Get().Find(m_hWnd);
    if (record == nullptr)
        return 0;
    switch (message) {
        case WM_CLOSE:
            // A dialog turns its close into the Cancel command.
            return WindowProc(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    return WindowProc(WM_CLOSE, 0, 0);
                case SC_MINIMIZE:
                    if (record->widget)
                        record->widget->showMinimized();
                    return 0;
                case SC_RESTORE:
                    if (record->widget)
                        record->widget->showNormal();
                    return 0;
                default:
                    return 0;
            }
        case WM_PAINT:
        case WM_ICONERASEBKGND:
        case WM_QUERYDRAGICON:
            return 0;
        default:
            return platform::ControlProc(*record, message, wParam, lParam);
    }
}
