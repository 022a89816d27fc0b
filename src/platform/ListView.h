// ListView.h (private to the layer): the report-view list control.
#pragma once

#include <QTableWidget>

#include "Runtime.h"

namespace platform {

struct ListViewState {
    QTableWidget* table = nullptr;
    DWORD extendedStyle = 0;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF textBkColor = RGB(255, 255, 255);
    std::vector<int> formats;  // per column
};

// Creates the list's widget inside `parent` and its state in `record`.
QTableWidget* CreateListView(WindowRecord& record, QWidget* parent, bool border);
// The list's messages (LVM_*); other messages fall through to the common ones.
bool ListViewProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result);

}  // namespace platform
