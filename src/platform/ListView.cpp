#include "ListView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>

#include <algorithm>
#include <cstring>
#include <set>

namespace platform {

namespace {

QColor ToColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

Qt::Alignment AlignmentOf(int format) {
    switch (format & 3) {
        case LVCFMT_RIGHT:
            return Qt::AlignRight | Qt::AlignVCenter;
        case LVCFMT_CENTER:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Colours: the background behind the rows, the text, and the background behind cell texts.
// The selection is only drawn while the list has the focus, as without "show selection always".
void ApplyColours(ListViewState& list) {
    QTableWidget* table = list.table;
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, ToColor(list.bkColor));
    palette.setColor(QPalette::Text, ToColor(list.textColor));
    palette.setColor(QPalette::Inactive, QPalette::Highlight, ToColor(list.textBkColor));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, ToColor(list.textColor));
    table->setPalette(palette);
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c)
            if (QTableWidgetItem* item = table->item(r, c))
                item->setBackground(ToColor(list.textBkColor));
}

void ApplyExtendedStyle(ListViewState& list) {
    list.table->setShowGrid((list.extendedStyle & LVS_EX_GRIDLINES) != 0);
    // Rows are selected whole either way; without full-row select only the first cell is
    // highlighted on the original control, which is no difference worth copying.
}

QTableWidgetItem* CellOf(ListViewState& list, int row, int column) {
    QTableWidgetItem* item = list.table->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setBackground(ToColor(list.textBkColor));
        if (column < static_cast<int>(list.formats.size()))
            item->setTextAlignment(AlignmentOf(list.formats[static_cast<std::size_t>(column)]));
        list.table->setItem(row, column, item);
    }
    return item;
}

int CopyText(const QString& text, char* buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0)
        return 0;
    const std::string bytes = ToAnsi(text);
    const int length = std::min(static_cast<int>(bytes.size()), maxCount - 1);
    std::memcpy(buffer, bytes.data(), static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return length;
}

UINT StateOf(ListViewState& list, int row) {
    UINT state = 0;
    QItemSelectionModel* selection = list.table->selectionModel();
    if (selection->isRowSelected(row, QModelIndex()))
        state |= LVIS_SELECTED;
    if (list.table->currentRow() == row && list.table->currentIndex().isValid())
        state |= LVIS_FOCUSED;
    return state;
}

// Tells the parent of every item state change, as the list view does.
void NotifyItemChanged(WindowRecord& record, int row, UINT newState, UINT oldState) {
    if (record.parent == nullptr)
        return;
    NMLISTVIEW notify{};
    notify.hdr.hwndFrom = record.handle;
    notify.hdr.idFrom = static_cast<UINT_PTR>(record.id);
    notify.hdr.code = LVN_ITEMCHANGED;
    notify.iItem = row;
    notify.iSubItem = 0;
    notify.uNewState = newState;
    notify.uOldState = oldState;
    notify.uChanged = LVIF_STATE;
    Dispatch(record.parent, WM_NOTIFY, static_cast<WPARAM>(record.id),
             reinterpret_cast<LPARAM>(&notify));
}

std::set<int> RowsOf(const QItemSelection& selection) {
    std::set<int> rows;
    for (const QItemSelectionRange& range : selection)
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.insert(r);
    return rows;
}

}  // namespace

QTableWidget* CreateListView(WindowRecord& record, QWidget* parent, bool border) {
    record.list = std::make_unique<ListViewState>();
    ListViewState& list = *record.list;
    auto* table = new QTableWidget(parent);
    list.table = table;
    table->setColumnCount(0);
    table->setRowCount(0);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    QHeaderView* header = table->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The headers look like buttons but a click on one does nothing: no sorting, and no column
    // selection (which the table would otherwise make of it).
    header->setSectionsClickable(true);
    table->setSortingEnabled(false);
    QObject::disconnect(header, SIGNAL(sectionPressed(int)), table, SLOT(selectColumn(int)));
    QObject::disconnect(header, SIGNAL(sectionEntered(int)), table, SLOT(_q_selectColumn(int)));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->setCornerButtonEnabled(false);
    table->setContextMenuPolicy(Qt::PreventContextMenu);
    table->setFrameShape(border ? QFrame::Box : QFrame::NoFrame);
    table->setFrameShadow(QFrame::Plain);
    table->setShowGrid(false);
    ApplyColours(list);

    const HWND handle = record.handle;
    QObject::connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, table,
                     [handle](const QItemSelection& selected, const QItemSelection& deselected) {
                         WindowRecord* r = Runtime::Get().Find(handle);
                         if (r == nullptr || !r->list)
                             return;
                         const std::set<int> on = RowsOf(selected);
                         const std::set<int> off = RowsOf(deselected);
                         for (int row : off) {
                             if (on.count(row))
                                 continue;
                             const UINT now = StateOf(*r->list, row);
                             NotifyItemChanged(*r, row, now, now | LVIS_SELECTED);
                         }
                         for (int row : on) {
                             if (off.count(row))
                                 continue;
                             const UINT now = StateOf(*r->list, row);
                             NotifyItemChanged(*r, row, now, now & ~LVIS_SELECTED);
                         }
                     });
    QObject::connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, table,
                     [handle](const QModelIndex& current, const QModelIndex& previous) {
                         WindowRecord* r = Runtime::Get().Find(handle);
                         if (r == nullptr || !r->list)
                             return;
                         if (previous.isValid() && previous.row() < r->list->table->rowCount()) {
                             const UINT now = StateOf(*r->list, previous.row());
                             NotifyItemChanged(*r, previous.row(), now, now | LVIS_FOCUSED);
                         }
                         if (current.isValid()) {
                             const UINT now = StateOf(*r->list, current.row());
                             NotifyItemChanged(*r, current.row(), now, now & ~LVIS_FOCUSED);
                         }
                     });
    return table;
}

bool ListViewProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result) {
    if (!record.list)
        return false;
    ListViewState& list = *record.list;
    QTableWidget* table = list.table;
    if (table == nullptr)
        return false;
    const int rows = table->rowCount();
    const int columns = table->columnCount();
    *result = 0;
    switch (message) {
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            const DWORD mask = wParam == 0 ? 0xFFFFFFFF : static_cast<DWORD>(wParam);
            const DWORD old = list.extendedStyle;
            list.extendedStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
            ApplyExtendedStyle(list);
            *result = static_cast<LRESULT>(old);
            return true;
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            *result = static_cast<LRESULT>(list.extendedStyle);
            return true;
        case LVM_SETBKCOLOR:
            list.bkColor = static_cast<COLORREF>(lParam);
            ApplyColours(list);
            *result = TRUE;
            return true;
        case LVM_GETBKCOLOR:
            *result = static_cast<LRESULT>(list.bkColor);
            return true;
        case LVM_SETTEXTCOLOR:
            list.textColor = static_cast<COLORREF>(lParam);
            ApplyColours(list);
            *result = TRUE;
            return true;
        case LVM_GETTEXTCOLOR:
            *result = static_cast<LRESULT>(list.textColor);
            return true;
        case LVM_SETTEXTBKCOLOR:
            list.textBkColor = static_cast<COLORREF>(lParam);
            ApplyColours(list);
            *result = TRUE;
            return true;
        case LVM_GETTEXTBKCOLOR:
            *result = static_cast<LRESULT>(list.textBkColor);
            return true;
        case LVM_INSERTCOLUMN: {
            const auto* column = reinterpret_cast<const LVCOLUMN*>(lParam);
            if (column == nullptr) {
                *result = -1;
                return true;
            }
            const int index = std::clamp(static_cast<int>(wParam), 0, columns);
            const int format = (column->mask & LVCF_FMT) ? column->fmt : LVCFMT_LEFT;
            table->insertColumn(index);
            list.formats.insert(list.formats.begin() + index, format);
            auto* headerItem = new QTableWidgetItem(
                (column->mask & LVCF_TEXT) ? FromAnsi(column->pszText) : QString());
            headerItem->setTextAlignment(AlignmentOf(format));
            table->setHorizontalHeaderItem(index, headerItem);
            const int width = (column->mask & LVCF_WIDTH) && column->cx >= 0 ? column->cx : 100;
            table->horizontalHeader()->resizeSection(index, width);
            *result = index;
            return true;
        }
        case LVM_GETCOLUMN: {
            auto* column = reinterpret_cast<LVCOLUMN*>(lParam);
            const int index = static_cast<int>(wParam);
            if (column == nullptr || index < 0 || index >= columns)
                return true;
            if (column->mask & LVCF_FMT)
                column->fmt = list.formats[static_cast<std::size_t>(index)];
            if (column->mask & LVCF_WIDTH)
                column->cx = table->horizontalHeader()->sectionSize(index);
            if (column->mask & LVCF_TEXT) {
                QTableWidgetItem* item = table->horizontalHeaderItem(index);
                CopyText(item ? item->text() : QString(), column->pszText, column->cchTextMax);
            }
            *result = TRUE;
            return true;
        }
        case LVM_GETCOLUMNWIDTH: {
            const int index = static_cast<int>(wParam);
            *result =
                index >= 0 && index < columns ? table->horizontalHeader()->sectionSize(index) : 0;
            return true;
        }
        case LVM_GETITEMCOUNT:
            *result = rows;
            return true;
        case LVM_INSERTITEM: {
            const auto* item = reinterpret_cast<const LVITEM*>(lParam);
            if (item == nullptr || item->iItem < 0 || item->iSubItem != 0) {
                *result = -1;
                return true;
            }
            const int index = std::min(item->iItem, rows);
            table->insertRow(index);
            if (columns > 0) {
                QTableWidgetItem* cell = CellOf(list, index, 0);
                if (item->mask & LVIF_TEXT)
                    cell->setText(FromAnsi(item->pszText));
            }
            *result = index;
            return true;
        }
        case LVM_SETITEMTEXT: {
            const auto* item = reinterpret_cast<const LVITEM*>(lParam);
            const int row = static_cast<int>(wParam);
            if (item == nullptr || row < 0 || row >= rows || item->iSubItem < 0 ||
                item->iSubItem >= columns)
                return true;
            CellOf(list, row, item->iSubItem)->setText(FromAnsi(item->pszText));
            *result = TRUE;
            return true;
        }
        case LVM_GETITEMTEXT: {
            auto* item = reinterpret_cast<LVITEM*>(lParam);
            const int row = static_cast<int>(wParam);
            if (item == nullptr)
                return true;
            QString text;
            if (row >= 0 && row < rows && item->iSubItem >= 0 && item->iSubItem < columns)
                if (QTableWidgetItem* cell = table->item(row, item->iSubItem))
                    text = cell->text();
            *result = CopyText(text, item->pszText, item->cchTextMax);
            return true;
        }
        case LVM_DELETEALLITEMS:
            table->clearSelection();
            table->setRowCount(0);
            *result = TRUE;
            return true;
        case LVM_GETNEXTITEM: {
            const int start = static_cast<int>(static_cast<intptr_t>(wParam));
            const UINT flags = static_cast<UINT>(lParam);
            *result = -1;
            for (int row = std::max(start + 1, 0); row < rows; ++row) {
                const UINT state = StateOf(list, row);
                const bool wantSelected = (flags & LVNI_SELECTED) != 0;
                const bool wantFocused = (flags & LVNI_FOCUSED) != 0;
                if ((wantSelected && !(state & LVIS_SELECTED)) ||
                    (wantFocused && !(state & LVIS_FOCUSED)))
                    continue;
                *result = row;
                break;
            }
            return true;
        }
        case LVM_SETITEMSTATE: {
            const auto* item = reinterpret_cast<const LVITEM*>(lParam);
            const int row = static_cast<int>(static_cast<intptr_t>(wParam));
            if (item == nullptr || row < -1 || row >= rows || columns == 0)
                return true;
            QItemSelectionModel* selection = table->selectionModel();
            auto applyRow = [&](int r) {
                const QModelIndex index = table->model()->index(r, 0);
                if (item->stateMask & LVIS_SELECTED) {
                    selection->select(
                        index, ((item->state & LVIS_SELECTED) ? QItemSelectionModel::Select
                                                              : QItemSelectionModel::Deselect) |
                                   QItemSelectionModel::Rows);
                }
                if ((item->stateMask & LVIS_FOCUSED) && (item->state & LVIS_FOCUSED))
                    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            };
            if (row == -1) {
                for (int r = 0; r < rows; ++r)
                    applyRow(r);
            } else {
                applyRow(row);
            }
            *result = TRUE;
            return true;
        }
        case LVM_GETITEMSTATE: {
            const int row = static_cast<int>(wParam);
            if (row >= 0 && row < rows)
                *result = static_cast<LRESULT>(StateOf(list, row) & static_cast<UINT>(lParam));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace platform
