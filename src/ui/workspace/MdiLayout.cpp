#include "MdiLayout.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include "plot/WindowLayout.h"

namespace orvala {

namespace {

QList<QMdiSubWindow*> laidOut(QMdiArea* area)
{
    QList<QMdiSubWindow*> out;
    for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::CreationOrder))
        if (sub->isVisible() && !sub->isMinimized()) out << sub;
    return out;
}

// Children beyond the visible part are reached by scrolling; the area starts at its top left.
void prepare(QMdiArea* area, const QList<QMdiSubWindow*>& subs)
{
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->horizontalScrollBar()->setValue(0);
    area->verticalScrollBar()->setValue(0);
    for (QMdiSubWindow* sub : subs)
        if (sub->isMaximized()) sub->showNormal();
}

// A layout must never push the main window beyond its screen.
void keepOnScreen(QMdiArea* area)
{
    QWidget* top = area->window();
    const QScreen* screen = top->screen();
    if (!screen || top->isMaximized() || top->isFullScreen()) return;
    const QSize room = screen->availableGeometry().size();
    const QSize frame = top->frameGeometry().size() - top->size();
    const QSize most = (room - frame).expandedTo(QSize(1, 1));
    if (top->width() > most.width() || top->height() > most.height()) top->resize(top->size().boundedTo(most));
}

void place(const QList<QMdiSubWindow*>& subs, const std::vector<WinRect>& rects)
{
    for (int i = 0; i < subs.size() && size_t(i) < rects.size(); ++i) {
        const WinRect& r = rects[size_t(i)];
        subs[i]->setGeometry(r.x, r.y, r.width, r.height);
    }
}

}  // namespace

void tileChildren(QMdiArea* area, QSize minimum)
{
    const QList<QMdiSubWindow*> subs = laidOut(area);
    if (subs.isEmpty()) return;
    prepare(area, subs);
    // Leave room for the vertical scroll bar the grid may need.
    const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize room = area->viewport()->size();
    std::vector<WinRect> rects = tileLayout(int(subs.size()), room.width(), room.height(), minimum.width(),
                                            minimum.height());
    int bottom = 0;
    for (const WinRect& r : rects) bottom = std::max(bottom, r.y + r.height);
    if (bottom > room.height() && !area->verticalScrollBar()->isVisible()) {
        room.rwidth() -= bar;
        rects = tileLayout(int(subs.size()), room.width(), room.height(), minimum.width(), minimum.height());
    }
    place(subs, rects);
    keepOnScreen(area);
}

void cascadeChildren(QMdiArea* area, QSize minimum)
{
    const QList<QMdiSubWindow*> subs = laidOut(area);
    if (subs.isEmpty()) return;
    prepare(area, subs);
    const QSize room = area->viewport()->size();
    // One title bar further each time, so every caption stays readable.
    const int step = area->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, subs.first()) + 4;
    place(subs, cascadeLayout(int(subs.size()), room.width(), room.height(), minimum.width(), minimum.height(), step));
    for (QMdiSubWindow* sub : subs) sub->raise();
    keepOnScreen(area);
}

}  // namespace orvala
