#include "WellPlateView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace orvala {

QColor colorOf(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

namespace {

QRect qrect(const PlateRect& r) { return QRect(r.left, r.top, r.width, r.height); }

}  // namespace

WellPlateView::WellPlateView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    SetPlateType(TPlateType::pt384);
}

void WellPlateView::SetPlateType(TPlateType type)
{
    FPlateType = type;
    wells_.assign(size_t(GetRowCount()) * size_t(GetColCount()), Well{});
    const bool plateSelected = selection_.PlateSelected();
    selection_.Resize(GetRowCount(), GetColCount());
    selection_.SetPlateSelected(plateSelected);
    relayout();
    emit plateTypeChanged(type);
}

void WellPlateView::Repaint()
{
    paintBuffer();
    update();
}

void WellPlateView::DeselectAll()
{
    selection_.DeselectAll();
    Repaint();
}

void WellPlateView::SelectRectangle(WellPosition a, WellPosition b)
{
    selection_.SelectRectangle(a, b);
    Repaint();
}

void WellPlateView::SetSelected(bool value)
{
    selection_.SetPlateSelected(value);
    Repaint();
    emit selectionChanged();
}

void WellPlateView::relayout()
{
    const QFontMetrics fm(font());
    const PlateLayout next = PlateLayout::Compute(width(), height(), 2 * fm.horizontalAdvance(QLatin1Char('H')),
                                                  fm.height(), GetColCount(), GetRowCount());
    // Too small for 3-pixel wells: the last picture stays, and so does the
    // geometry the mouse is tested against.
    if (!next.drawn && !layout_.wells.empty() && layout_.columns == next.columns && layout_.rows == next.rows) return;
    layout_ = next;
    paintBuffer();
    update();
}

void WellPlateView::paintBuffer()
{
    if (!layout_.drawn) return;
    QImage img(layout_.pictureWidth, layout_.pictureHeight, QImage::Format_RGB32);
    img.fill(palette().color(QPalette::Window));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRect(0, 0, img.width() - 1, img.height() - 1), 5, 5);
    const bool plateSelected = selection_.PlateSelected();
    const QColor labelBack = plateSelected ? QColor(0, 255, 0) : QColor(Qt::white);
    if (plateSelected) {
        p.setPen(Qt::NoPen);
        p.setBrush(labelBack);
        p.drawRoundedRect(QRect(layout_.corner.width, 1, layout_.plateWidth, layout_.corner.height - 1), 5, 5);
        p.drawRoundedRect(QRect(1, layout_.corner.height, layout_.corner.width - 1, layout_.plateHeight), 5, 5);
    }
    // The corner cell selects the whole plate.
    p.setPen(Qt::NoPen);
    p.setBrush(labelBack);
    p.drawRect(qrect(layout_.corner).adjusted(1, 1, -1, -1));
    p.setPen(Qt::black);
    for (int k = 0; k < layout_.columns; ++k) {
        const QRect r = qrect(layout_.columnLabels[size_t(k)]);
        p.fillRect(r, labelBack);
        p.drawText(r, Qt::AlignCenter, QString::number(k + 1));
    }
    for (int row = 0; row < layout_.rows; ++row) {
        const QRect r = qrect(layout_.rowLabels[size_t(row)]);
        p.fillRect(r, labelBack);
        p.drawText(r, Qt::AlignCenter, QString(QChar('A' + row)));
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int row = 0; row < layout_.rows; ++row)
        for (int k = 0; k < layout_.columns; ++k) {
            const QRect r = qrect(layout_.wells[size_t(row)][size_t(k)]);
            if (r.isEmpty()) continue;
            const Well& w = well(row, k);
            p.setPen(Qt::white);
            p.setBrush(selection_.IsSelected({row, k}) ? QColor(0, 0, 255) : QColor(Qt::white));
            p.drawRect(r);
            int side = std::min(r.width(), r.height());
            QRect sq(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
            if (side > 2) sq.adjust(1, 1, -1, -1);
            const WellLook look = LookOfWell(w.FEnabled, w.FAdminEnabled, w.fFilteredOut);
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(look.enabled ? colorOf(w.fColor) : QColor(0x80, 0x80, 0x80));
            p.drawEllipse(sq);
            p.setPen(QPen(Qt::red, 2));
            if (look.userStroke) p.drawLine(sq.topLeft(), sq.bottomRight());
            if (look.adminStroke) p.drawLine(sq.bottomLeft(), sq.topRight());
        }
    p.end();
    Buf = std::move(img);
}

void WellPlateView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (!Buf.isNull()) p.drawImage(0, 0, Buf);
}

void WellPlateView::resizeEvent(QResizeEvent*) { relayout(); }

void WellPlateView::mousePressEvent(QMouseEvent* e)
{
    WellPosition w;
    if (!layout_.HitWell(int(e->position().x()), int(e->position().y()), w)) return;
    if (e->button() == Qt::RightButton) {
        emit wellRightClicked(w.row, w.column);
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    const bool fire = selection_.MouseDown(w, e->modifiers() & Qt::ShiftModifier, e->modifiers() & Qt::ControlModifier);
    dragging_ = selection_.Mode() == TSelectionMode::smSelect;
    Repaint();
    if (fire) emit selectionChanged();
}

void WellPlateView::mouseMoveEvent(QMouseEvent* e)
{
    const int x = int(e->position().x()), y = int(e->position().y());
    WellPosition w;
    if (layout_.HitWell(x, y, w)) {
        unsetCursor();
        if (dragging_ && (e->buttons() & Qt::LeftButton)) {
            selection_.MouseMove(w, e->modifiers() & Qt::ControlModifier);
            Repaint();
        }
        emit wellHovered(w.row, w.column);
    } else if (layout_.drawn && layout_.corner.contains(x, y)) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void WellPlateView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    const bool wasDragging = dragging_;
    dragging_ = false;
    const int x = int(e->position().x()), y = int(e->position().y());
    if (!wasDragging && layout_.drawn && layout_.corner.contains(x, y)) {
        SetSelected(!Selected());
        return;
    }
    if (!wasDragging) return;
    selection_.MouseUp();
    Repaint();
    emit selectionChanged();
}

}  // namespace orvala
