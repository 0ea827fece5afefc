#include "gui/MdiArrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// The subwindows a tiling places: shown and not minimized, in creation order.
QList<QMdiSubWindow*> tiledWindows(QMdiArea& area) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* sub : area.subWindowList(QMdiArea::CreationOrder)) {
        if (sub->isVisible() && !sub->isMinimized())
            windows << sub;
    }
    return windows;
}

void tile(QMdiArea& area, bool stacked) {
    const QList<QMdiSubWindow*> windows = tiledWindows(area);
    if (windows.isEmpty())
        return;
    const QRect space = area.viewport()->rect();
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = windows[i];
        if (sub->isMaximized())
            sub->showNormal();
        if (stacked) {
            const int top = space.height() * i / n;
            sub->setGeometry(0, top, space.width(), space.height() * (i + 1) / n - top);
        } else {
            const int left = space.width() * i / n;
            sub->setGeometry(left, 0, space.width() * (i + 1) / n - left, space.height());
        }
    }
}

void arrangeIcons(QMdiArea& area) {
    const QRect space = area.viewport()->rect();
    int x = 0;
    int y = space.height();
    int rowHeight = 0;
    for (QMdiSubWindow* sub : area.subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > space.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, size.height());
        sub->move(x, y - size.height());
        x += size.width();
    }
}

} // namespace

void arrangeSubWindows(QMdiArea& area, MdiArrangement arrangement) {
    switch (arrangement) {
    case MdiArrangement::Cascade:
        area.cascadeSubWindows();
        break;
    case MdiArrangement::TileHorizontal:
        tile(area, true);
        break;
    case MdiArrangement::TileVertical:
        tile(area, false);
        break;
    case MdiArrangement::ArrangeIcons:
        arrangeIcons(area);
        break;
    }
}
