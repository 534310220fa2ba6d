#include "RangeSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvala {

namespace {

constexpr int ThumbWidth = 10;
constexpr int ThumbHeight = 18;

}  // namespace

RangeSlider::RangeSlider(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

QSize RangeSlider::sizeHint() const { return {200, ThumbHeight + 6}; }

QSize RangeSlider::minimumSizeHint() const { return {4 * ThumbWidth, ThumbHeight + 6}; }

void RangeSlider::setRange(int minimum, int maximum)
{
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    const int lo = std::clamp(low_, min_, max_);
    const int hi = std::clamp(high_, lo, max_);
    const bool moved = lo != low_ || hi != high_;
    low_ = lo;
    high_ = hi;
    update();
    if (moved) emit valuesChanged(low_, high_);
}

void RangeSlider::setValues(int low, int high)
{
    const int lo = std::clamp(low, min_, max_);
    const int hi = std::clamp(high, lo, max_);
    if (lo == low_ && hi == high_) return;
    low_ = lo;
    high_ = hi;
    update();
    emit valuesChanged(low_, high_);
}

QRect RangeSlider::grooveRect() const
{
    // Thumb centres run from half a thumb inside the left edge to half a
    // thumb inside the right one.
    return QRect(ThumbWidth / 2, height() / 2 - 2, std::max(1, width() - ThumbWidth), 4);
}

int RangeSlider::pixelOf(int v) const
{
    const QRect g = grooveRect();
    if (max_ == min_) return g.left();
    const double t = double(int64_t(v) - min_) / double(int64_t(max_) - min_);
    return g.left() + int(std::nearbyint(t * (g.width() - 1)));
}

int RangeSlider::valueAt(int x) const
{
    const QRect g = grooveRect();
    if (max_ == min_ || g.width() <= 1) return min_;
    const double t = std::clamp(double(x - g.left()) / double(g.width() - 1), 0.0, 1.0);
    return int(std::nearbyint(double(min_) + t * (double(max_) - double(min_))));
}

void RangeSlider::moveBy(Thumb thumb, int delta, bool both)
{
    if (delta == 0) return;
    if (both) {
        // Both thumbs keep their distance and stop at the ends.
        const int64_t d = std::clamp<int64_t>(delta, int64_t(min_) - low_, int64_t(max_) - high_);
        setValues(low_ + int(d), high_ + int(d));
    } else if (thumb == Thumb::Low) {
        setValues(int(std::clamp<int64_t>(int64_t(low_) + delta, min_, high_)), high_);
    } else if (thumb == Thumb::High) {
        setValues(low_, int(std::clamp<int64_t>(int64_t(high_) + delta, low_, max_)));
    }
}

void RangeSlider::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    const int x = int(e->position().x());
    const int pl = pixelOf(low_), ph = pixelOf(high_);
    // The nearer thumb; on top of each other, the side of the press decides.
    if (std::abs(x - pl) < std::abs(x - ph))
        dragged_ = Thumb::Low;
    else if (std::abs(x - ph) < std::abs(x - pl))
        dragged_ = Thumb::High;
    else
        dragged_ = x < pl ? Thumb::Low : Thumb::High;
    active_ = dragged_;
    pressValue_ = valueAt(x);
    const int thumbPixel = dragged_ == Thumb::Low ? pl : ph;
    if (std::abs(x - thumbPixel) > ThumbWidth / 2 && !(e->modifiers() & Qt::ShiftModifier)) {
        // A press beside the thumbs brings the nearer one there.
        if (dragged_ == Thumb::Low)
            setValues(std::min(pressValue_, high_), high_);
        else
            setValues(low_, std::max(pressValue_, low_));
    }
    e->accept();
}

void RangeSlider::mouseMoveEvent(QMouseEvent* e)
{
    if (dragged_ == Thumb::None) return QWidget::mouseMoveEvent(e);
    const int v = valueAt(int(e->position().x()));
    moveBy(dragged_, v - pressValue_, e->modifiers() & Qt::ShiftModifier);
    pressValue_ = v;
    e->accept();
}

void RangeSlider::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) dragged_ = Thumb::None;
    QWidget::mouseReleaseEvent(e);
}

void RangeSlider::keyPressEvent(QKeyEvent* e)
{
    const int page = std::max(1, int((int64_t(max_) - min_) / 10));
    int delta = 0;
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        delta = -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        delta = 1;
        break;
    case Qt::Key_PageDown:
        delta = -page;
        break;
    case Qt::Key_PageUp:
        delta = page;
        break;
    default:
        return QWidget::keyPressEvent(e);
    }
    moveBy(active_, delta, e->modifiers() & Qt::ShiftModifier);
    e->accept();
}

void RangeSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRect g = grooveRect();
    p.setPen(pal.color(QPalette::Mid));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(g, 2, 2);
    const int pl = pixelOf(low_), ph = pixelOf(high_);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid));
    p.drawRect(QRect(QPoint(pl, g.top()), QPoint(ph, g.bottom())));
    for (Thumb t : {Thumb::Low, Thumb::High}) {
        const int x = t == Thumb::Low ? pl : ph;
        const QRect r(x - ThumbWidth / 2, height() / 2 - ThumbHeight / 2, ThumbWidth, ThumbHeight);
        p.setPen(hasFocus() && active_ == t ? pal.color(QPalette::Highlight) : pal.color(QPalette::Dark));
        p.setBrush(pal.color(QPalette::Button));
        p.drawRoundedRect(r, 2, 2);
    }
}

}  // namespace orvala
