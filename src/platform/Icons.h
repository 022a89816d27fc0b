// Icons.h (private to the layer): icon handles and painting surfaces.
#pragma once

#include <QPainter>
#include <QPixmap>

#include "Runtime.h"

namespace platform {

struct IconData {
    QPixmap pixmap;
    bool shared = false;
};

inline IconData* IconOf(HICON icon) {
    return reinterpret_cast<IconData*>(icon);
}
// An icon from a file or resource path at cx x cy pixels; null when it cannot be read.
HICON LoadIconFile(const QString& path, int cx, int cy, bool shared);

// A painter on the window being painted, for CPaintDC during WM_PAINT.
struct PaintScope {
    PaintScope(QWidget* widget, QPainter* painter);
    ~PaintScope();
    static QPainter* PainterFor(QWidget* widget);
};

}  // namespace platform
