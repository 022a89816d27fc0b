#include "Window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "Icons.h"
#include "ListView.h"
#include "Resources.h"
#include "Runtime.h"
#include "Testing.h"

using platform::Runtime;
using platform::WindowKind;
using platform::WindowRecord;

// ---------------------------------------------------------------------------------------------
// Message maps.

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

bool CCmdTarget::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    UINT code = 0;
    UINT id = 0;
    const bool keyed = message == WM_COMMAND || message == WM_NOTIFY;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr)
            return false;
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->base ? map->base() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->entries; e->handler != nullptr; ++e) {
            if (e->message != message)
                continue;
            if (keyed && (e->code != code || e->id != id))
                continue;
            *result = e->handler(this, wParam, lParam);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Free functions.

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr)
        return 0;
    return Runtime::Get().Call(window,
                               [=] { return platform::Dispatch(window, message, wParam, lParam); });
}

BOOL IsWindow(HWND window) {
    return window != nullptr && Runtime::Get().IsLive(window);
}

HWND GetDlgItem(HWND dialog, int id) {
    for (HWND child : Runtime::Get().ChildrenOf(dialog)) {
        WindowRecord* record = Runtime::Get().Find(child);
        if (record != nullptr && record->id == id)
            return child;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND window) {
    WindowRecord* record = Runtime::Get().Find(window);
    return record ? record->id : 0;
}

BOOL SetWindowText(HWND window, LPCSTR text) {
    return static_cast<BOOL>(SendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowText(HWND window, LPSTR buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0)
        return 0;
    buffer[0] = '\0';
    return static_cast<int>(SendMessage(window, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                        reinterpret_cast<LPARAM>(buffer)));
}

BOOL EnableWindow(HWND window, BOOL enable) {
    return static_cast<BOOL>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record == nullptr || !record->widget)
            return FALSE;
        const bool wasDisabled = !record->widget->isEnabled();
        record->widget->setEnabled(enable != FALSE);
        return wasDisabled ? TRUE : FALSE;
    }));
}

BOOL IsWindowEnabled(HWND window) {
    return static_cast<BOOL>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        return record && record->widget && record->widget->isEnabled() ? TRUE : FALSE;
    }));
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    if (rect == nullptr)
        return FALSE;
    return static_cast<BOOL>(Runtime::Get().Call(dialog, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(dialog);
        if (record == nullptr || record->baseUnitX == 0)
            return FALSE;
        auto mapX = [&](LONG v) { return static_cast<LONG>((v * record->baseUnitX + 2) / 4); };
        auto mapY = [&](LONG v) { return static_cast<LONG>((v * record->baseUnitY + 4) / 8); };
        rect->left = mapX(rect->left);
        rect->right = mapX(rect->right);
        rect->top = mapY(rect->top);
        rect->bottom = mapY(rect->bottom);
        return TRUE;
    }));
}

namespace {

std::mutex gBoxesMutex;
bool gRecordBoxes = false;
std::vector<platform::testing::ShownMessageBox> gBoxes;

std::mutex gPaintedMutex;
std::vector<platform::testing::PaintedIcon> gPainted;

}  // namespace

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    {
        std::lock_guard lock(gBoxesMutex);
        if (gRecordBoxes) {
            gBoxes.push_back({owner, caption ? caption : "", text ? text : "", type});
            return IDOK;
        }
    }
    const std::string body = text ? text : "";
    const std::string title = caption ? caption : "";
    return static_cast<int>(Runtime::Get().Call(nullptr, [=]() -> LRESULT {
        WindowRecord* record = owner ? Runtime::Get().Find(owner) : nullptr;
        QWidget* parent = record ? record->widget.data() : nullptr;
        QMessageBox box(QMessageBox::NoIcon, platform::FromAnsi(title.c_str()),
                        platform::FromAnsi(body.c_str()), QMessageBox::Ok, parent);
        box.exec();
        return IDOK;
    }));
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        default:
            return 0;
    }
}

namespace platform {

namespace {

std::mutex gIconsMutex;
// Shared icons live as long as the program (the map is never destroyed).
auto& gSharedIcons = *new std::map<std::tuple<QString, int, int>, IconData*>;
thread_local QWidget* tPaintingWidget = nullptr;
thread_local QPainter* tPainter = nullptr;

}  // namespace

HICON LoadIconFile(const QString& path, int cx, int cy, bool shared) {
    if (cx <= 0)
        cx = GetSystemMetrics(SM_CXICON);
    if (cy <= 0)
        cy = GetSystemMetrics(SM_CYICON);
    // Shared icons are kept by the file's absolute name: the same relative name from another
    // current directory is another file.
    const QFileInfo file(path);
    if (!file.exists())
        return nullptr;
    std::lock_guard lock(gIconsMutex);
    const auto key = std::make_tuple(file.absoluteFilePath(), cx, cy);
    if (shared) {
        auto it = gSharedIcons.find(key);
        if (it != gSharedIcons.end())
            return reinterpret_cast<HICON>(it->second);
    }
    // Of the images in the file, the smallest that is at least as large as asked for, else the
    // largest; scaled to the size asked for.
    QImageReader reader(path);
    QImage best;
    const int count = std::max(reader.imageCount(), 1);
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToNextImage())
            break;
        QImage image = reader.read();
        if (image.isNull())
            continue;
        const bool bigEnough = image.width() >= cx && image.height() >= cy;
        const bool bestBigEnough = !best.isNull() && best.width() >= cx && best.height() >= cy;
        if (best.isNull() || (bigEnough && (!bestBigEnough || image.width() < best.width())) ||
            (!bigEnough && !bestBigEnough && image.width() > best.width()))
            best = image;
    }
    if (best.isNull())
        return nullptr;
    auto* icon = new IconData;
    icon->pixmap =
        QPixmap::fromImage(best.scaled(cx, cy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    icon->shared = shared;
    if (shared)
        gSharedIcons[key] = icon;
    return reinterpret_cast<HICON>(icon);
}

PaintScope::PaintScope(QWidget* widget, QPainter* painter) {
    tPaintingWidget = widget;
    tPainter = painter;
}

PaintScope::~PaintScope() {
    tPaintingWidget = nullptr;
    tPainter = nullptr;
}

QPainter* PaintScope::PainterFor(QWidget* widget) {
    return widget != nullptr && widget == tPaintingWidget ? tPainter : nullptr;
}

}  // namespace platform

HANDLE LoadImage(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    if (name == nullptr || type != IMAGE_ICON || !(flags & LR_LOADFROMFILE))
        return nullptr;
    const QString path = QString::fromLocal8Bit(name);
    return reinterpret_cast<HANDLE>(Runtime::Get().Call(nullptr, [=]() -> LRESULT {
        return reinterpret_cast<LRESULT>(
            platform::LoadIconFile(path, cx, cy, (flags & LR_SHARED) != 0));
    }));
}

BOOL DestroyIcon(HICON icon) {
    platform::IconData* data = platform::IconOf(icon);
    if (data == nullptr)
        return FALSE;
    if (!data->shared)
        delete data;
    return TRUE;
}

namespace {

struct DCData {
    QPainter* painter = nullptr;
};

}  // namespace

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    {
        std::lock_guard lock(gPaintedMutex);
        if (gPainted.size() >= 64)
            gPainted.erase(gPainted.begin());
        gPainted.push_back({icon, x, y});
    }
    auto* data = reinterpret_cast<DCData*>(dc);
    platform::IconData* image = platform::IconOf(icon);
    if (data == nullptr || data->painter == nullptr || image == nullptr)
        return FALSE;
    data->painter->drawPixmap(x, y, image->pixmap);
    return TRUE;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    return ::DrawIcon(m_hDC, x, y, icon);
}

namespace {

// A device context that paints on the window during its WM_PAINT, or on a scratch image of the
// window's size when the window is not painting now.
struct PaintDCData : DCData {
    QImage scratch;
    std::unique_ptr<QPainter> ownPainter;
};

}  // namespace

CPaintDC::CPaintDC(CWnd* window) {
    auto* data = new PaintDCData;
    WindowRecord* record = window ? Runtime::Get().Find(window->m_hWnd) : nullptr;
    QWidget* widget = record ? record->widget.data() : nullptr;
    data->painter = platform::PaintScope::PainterFor(widget);
    if (data->painter == nullptr) {
        data->scratch = QImage(widget ? widget->size() : QSize(1, 1), QImage::Format_ARGB32);
        data->scratch.fill(Qt::transparent);
        data->ownPainter = std::make_unique<QPainter>(&data->scratch);
        data->painter = data->ownPainter.get();
    }
    m_hDC = reinterpret_cast<HDC>(static_cast<DCData*>(data));
}

CPaintDC::~CPaintDC() {
    delete static_cast<PaintDCData*>(reinterpret_cast<DCData*>(m_hDC));
}

// ---------------------------------------------------------------------------------------------
// The common window procedure.

namespace {

QString TextOf(WindowRecord& record) {
    QWidget* widget = record.widget;
    if (widget == nullptr)
        return {};
    switch (record.kind) {
        case WindowKind::Dialog:
            return widget->windowTitle();
        case WindowKind::PushButton:
        case WindowKind::CheckBox:
            return static_cast<QAbstractButton*>(widget)->text();
        case WindowKind::Edit:
            return static_cast<QLineEdit*>(widget)->text();
        case WindowKind::Static:
            return static_cast<QLabel*>(widget)->text();
        case WindowKind::GroupBox:
            return static_cast<QGroupBox*>(widget)->title();
        default:
            return {};
    }
}

void SetTextOf(WindowRecord& record, const QString& text) {
    QWidget* widget = record.widget;
    if (widget == nullptr)
        return;
    switch (record.kind) {
        case WindowKind::Dialog:
            widget->setWindowTitle(text);
            break;
        case WindowKind::PushButton:
        case WindowKind::CheckBox:
            static_cast<QAbstractButton*>(widget)->setText(text);
            break;
        case WindowKind::Edit:
            static_cast<QLineEdit*>(widget)->setText(text);
            break;
        case WindowKind::Static:
            static_cast<QLabel*>(widget)->setText(text);
            break;
        case WindowKind::GroupBox:
            static_cast<QGroupBox*>(widget)->setTitle(text);
            break;
        default:
            break;
    }
}

void ApplyIcons(WindowRecord& record) {
    if (!record.widget)
        return;
    QIcon icon;
    for (HICON h : {record.bigIcon, record.smallIcon})
        if (platform::IconData* data = platform::IconOf(h))
            icon.addPixmap(data->pixmap);
    record.widget->setWindowIcon(icon);
}

}  // namespace

namespace platform {

LRESULT ControlProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (record.kind == WindowKind::ListView &&
        ListViewProc(record, message, wParam, lParam, &result))
        return result;
    switch (message) {
        case WM_SETTEXT:
            SetTextOf(record, FromAnsi(reinterpret_cast<const char*>(lParam)));
            return TRUE;
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<char*>(lParam);
            const int maxCount = static_cast<int>(wParam);
            if (buffer == nullptr || maxCount <= 0)
                return 0;
            const std::string text = ToAnsi(TextOf(record));
            const int length = std::min(static_cast<int>(text.size()), maxCount - 1);
            std::memcpy(buffer, text.data(), static_cast<std::size_t>(length));
            buffer[length] = '\0';
            return length;
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(ToAnsi(TextOf(record)).size());
        case WM_SETICON: {
            HICON icon = reinterpret_cast<HICON>(lParam);
            HICON& slot = wParam == ICON_BIG ? record.bigIcon : record.smallIcon;
            HICON previous = slot;
            slot = icon;
            ApplyIcons(record);
            return reinterpret_cast<LRESULT>(previous);
        }
        case BM_GETCHECK:
            if (record.kind == WindowKind::CheckBox && record.widget)
                return static_cast<QCheckBox*>(record.widget.data())->isChecked() ? BST_CHECKED
                                                                                  : BST_UNCHECKED;
            return 0;
        case BM_SETCHECK:
            if (record.kind == WindowKind::CheckBox && record.widget)
                static_cast<QCheckBox*>(record.widget.data())->setChecked(wParam == BST_CHECKED);
            return 0;
        default:
            return 0;
    }
}

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// CString.

BOOL CString::LoadString(UINT id) {
    const std::optional<QString> text = platform::FindString(id);
    m_text = text ? platform::ToAnsi(*text) : std::string();
    return text.has_value() && !text->isEmpty();
}

// ---------------------------------------------------------------------------------------------
// CWnd.

CWnd::~CWnd() {
    if (m_hWnd != nullptr)
        UnsubclassWindow();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

CWnd* CWnd::GetDlgItem(int id) const {
    const HWND dialog = m_hWnd;
    return reinterpret_cast<CWnd*>(Runtime::Get().Call(dialog, [=]() -> LRESULT {
        HWND child = ::GetDlgItem(dialog, id);
        WindowRecord* record = Runtime::Get().Find(child);
        if (record == nullptr)
            return 0;
        if (record->attached != nullptr)
            return reinterpret_cast<LRESULT>(record->attached);
        if (!record->ownWrapper) {
            record->ownWrapper = std::make_unique<CWnd>();
            record->ownWrapper->m_hWnd = child;
        }
        return reinterpret_cast<LRESULT>(record->ownWrapper.get());
    }));
}

int CWnd::GetDlgCtrlID() const {
    return ::GetDlgCtrlID(m_hWnd);
}

void CWnd::SetWindowText(LPCSTR text) {
    ::SetWindowText(m_hWnd, text);
}

int CWnd::GetWindowText(LPSTR buffer, int maxCount) const {
    return ::GetWindowText(m_hWnd, buffer, maxCount);
}

void CWnd::GetWindowText(CString& text) const {
    const int length = GetWindowTextLength();
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetWindowText(m_hWnd, buffer.data(), length + 1);
    buffer.resize(static_cast<std::size_t>(copied));
    text = CString(std::move(buffer));
}

int CWnd::GetWindowTextLength() const {
    return static_cast<int>(SendMessage(WM_GETTEXTLENGTH, 0, 0));
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}

BOOL CWnd::IsWindowEnabled() const {
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsWindowVisible() const {
    const HWND window = m_hWnd;
    return static_cast<BOOL>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        return record && record->widget && record->widget->isVisible();
    }));
}

BOOL CWnd::IsIconic() const {
    const HWND window = m_hWnd;
    return static_cast<BOOL>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        return record && record->widget && record->widget->isMinimized();
    }));
}

void CWnd::GetClientRect(LPRECT rect) const {
    if (rect == nullptr)
        return;
    *rect = RECT{0, 0, 0, 0};
    const HWND window = m_hWnd;
    Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record && record->widget) {
            rect->right = record->widget->width();
            rect->bottom = record->widget->height();
        }
        return 0;
    });
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    const HWND window = m_hWnd;
    return reinterpret_cast<HICON>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record == nullptr)
            return 0;
        return reinterpret_cast<LRESULT>(bigIcon ? record->bigIcon : record->smallIcon);
    }));
}

CMenu* CWnd::GetSystemMenu(BOOL) const {
    const HWND window = m_hWnd;
    return reinterpret_cast<CMenu*>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record == nullptr || record->kind != WindowKind::Dialog || !record->systemMenuObject)
            return 0;
        return reinterpret_cast<LRESULT>(record->systemMenuObject.get());
    }));
}

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
    return ::MessageBox(m_hWnd, text, caption, type);
}

BOOL CWnd::DestroyWindow() {
    const HWND window = m_hWnd;
    return static_cast<BOOL>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record == nullptr)
            return FALSE;
        QWidget* widget = record->widget;
        for (HWND child : Runtime::Get().ChildrenOf(window))
            Runtime::Get().Unregister(child);
        Runtime::Get().Unregister(window);
        delete widget;
        return TRUE;
    }));
}

BOOL CWnd::SubclassWindow(HWND window) {
    if (m_hWnd != nullptr)
        return FALSE;
    return static_cast<BOOL>(Runtime::Get().Call(window, [this, window]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record == nullptr || record->attached != nullptr)
            return FALSE;
        record->attached = this;
        m_hWnd = window;
        return TRUE;
    }));
}

HWND CWnd::UnsubclassWindow() {
    const HWND window = m_hWnd;
    auto unbind = [this, window]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        if (record != nullptr && record->attached == this)
            record->attached = nullptr;
        return 0;
    };
    // Also after the layer's end: the window must not keep a pointer to an object that goes.
    if (Runtime::Get().IsGuiThread())
        unbind();
    else
        Runtime::Get().Call(window, unbind);
    m_hWnd = nullptr;
    return window;
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    if (message == WM_COMMAND && OnCommand(wParam, lParam))
        return 0;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = Runtime::Get().Find(m_hWnd);
    if (record == nullptr)
        return 0;
    return platform::ControlProc(*record, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

void CWnd::OnSysCommand(UINT id, LPARAM lParam) {
    DefWindowProc(WM_SYSCOMMAND, id, lParam);
}

void CWnd::OnPaint() {
    DefWindowProc(WM_PAINT, 0, 0);
}

HCURSOR CWnd::OnQueryDragIcon() {
    return reinterpret_cast<HCURSOR>(DefWindowProc(WM_QUERYDRAGICON, 0, 0));
}

void CWnd::OnClose() {
    DefWindowProc(WM_CLOSE, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Controls.

int CButton::GetCheck() const {
    return static_cast<int>(SendMessage(BM_GETCHECK, 0, 0));
}

void CButton::SetCheck(int check) {
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    return static_cast<DWORD>(
        SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

BOOL CListCtrl::SetBkColor(COLORREF color) {
    return static_cast<BOOL>(SendMessage(LVM_SETBKCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CListCtrl::GetBkColor() const {
    return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR, 0, 0));
}

BOOL CListCtrl::SetTextColor(COLORREF color) {
    return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CListCtrl::GetTextColor() const {
    return static_cast<COLORREF>(SendMessage(LVM_GETTEXTCOLOR, 0, 0));
}

BOOL CListCtrl::SetTextBkColor(COLORREF color) {
    return static_cast<BOOL>(SendMessage(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(color)));
}

COLORREF CListCtrl::GetTextBkColor() const {
    return static_cast<COLORREF>(SendMessage(LVM_GETTEXTBKCOLOR, 0, 0));
}

int CListCtrl::InsertColumn(int column, LPCSTR heading, int format, int width, int subItem) {
    LVCOLUMN c{};
    c.mask = LVCF_FMT | LVCF_TEXT;
    c.fmt = format;
    c.pszText = const_cast<LPSTR>(heading);
    if (width != -1) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    if (subItem != -1) {
        c.mask |= LVCF_SUBITEM;
        c.iSubItem = subItem;
    }
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

int CListCtrl::GetColumnWidth(int column) const {
    return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

CString CListCtrl::GetColumnText(int column) const {
    char buffer[260] = {};
    LVCOLUMN c{};
    c.mask = LVCF_TEXT;
    c.pszText = buffer;
    c.cchTextMax = sizeof buffer;
    SendMessage(LVM_GETCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
    return CString(buffer);
}

int CListCtrl::GetColumnCount() const {
    const HWND window = m_hWnd;
    return static_cast<int>(Runtime::Get().Call(window, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(window);
        return record && record->list ? record->list->table->columnCount() : 0;
    }));
}

int CListCtrl::InsertItem(int item, LPCSTR text) {
    LVITEM i{};
    i.mask = LVIF_TEXT;
    i.iItem = item;
    i.pszText = const_cast<LPSTR>(text);
    return static_cast<int>(SendMessage(LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&i)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCSTR text) {
    LVITEM i{};
    i.iSubItem = subItem;
    i.pszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&i)));
}

int CListCtrl::GetItemText(int item, int subItem, LPSTR buffer, int maxCount) const {
    if (buffer == nullptr || maxCount <= 0)
        return 0;
    buffer[0] = '\0';
    LVITEM i{};
    i.iSubItem = subItem;
    i.pszText = buffer;
    i.cchTextMax = maxCount;
    return static_cast<int>(
        SendMessage(LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&i)));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
    std::string buffer(4096, '\0');
    const int length = GetItemText(item, subItem, buffer.data(), static_cast<int>(buffer.size()));
    buffer.resize(static_cast<std::size_t>(length));
    return CString(std::move(buffer));
}

BOOL CListCtrl::DeleteAllItems() {
    return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS, 0, 0));
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT, 0, 0));
}

int CListCtrl::GetNextItem(int start, int flags) const {
    return static_cast<int>(
        SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags)));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEM i{};
    i.mask = LVIF_STATE;
    i.state = state;
    i.stateMask = mask;
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&i)));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const {
    return static_cast<UINT>(
        SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

// ---------------------------------------------------------------------------------------------
// The system menu.

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCSTR text) {
    const HWND owner = m_owner;
    const std::string label = text ? text : "";
    return static_cast<BOOL>(Runtime::Get().Call(owner, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(owner);
        if (record == nullptr)
            return FALSE;
        if (flags & MF_SEPARATOR)
            record->systemMenu.push_back({0, std::string()});
        else
            record->systemMenu.push_back({static_cast<UINT>(id), label});
        return TRUE;
    }));
}

int CMenu::GetMenuItemCount() const {
    const HWND owner = m_owner;
    return static_cast<int>(Runtime::Get().Call(owner, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(owner);
        return record ? static_cast<LRESULT>(record->systemMenu.size()) : -1;
    }));
}

UINT CMenu::GetMenuItemID(int position) const {
    const HWND owner = m_owner;
    return static_cast<UINT>(Runtime::Get().Call(owner, [=]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(owner);
        if (record == nullptr || position < 0 ||
            position >= static_cast<int>(record->systemMenu.size()))
            return static_cast<LRESULT>(static_cast<UINT>(-1));
        return record->systemMenu[static_cast<std::size_t>(position)].id;
    }));
}

CString CMenu::GetMenuString(int position) const {
    const HWND owner = m_owner;
    std::string text;
    Runtime::Get().Call(owner, [&]() -> LRESULT {
        WindowRecord* record = Runtime::Get().Find(owner);
        if (record != nullptr && position >= 0 &&
            position < static_cast<int>(record->systemMenu.size()))
            text = record->systemMenu[static_cast<std::size_t>(position)].text;
        return 0;
    });
    return CString(std::move(text));
}

// ---------------------------------------------------------------------------------------------
// Test seams kept here because they share this file's state.

namespace platform::testing {

void RecordMessageBoxes(bool on) {
    std::lock_guard lock(gBoxesMutex);
    gRecordBoxes = on;
}

std::vector<ShownMessageBox> TakeMessageBoxes() {
    std::lock_guard lock(gBoxesMutex);
    return std::exchange(gBoxes, {});
}

std::vector<PaintedIcon> TakePaintedIcons() {
    std::lock_guard lock(gPaintedMutex);
    return std::exchange(gPainted, {});
}

}  // namespace platform::testing
