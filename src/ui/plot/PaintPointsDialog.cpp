#include "PaintPointsDialog.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace orvala {

PaintPointsDialog::PaintPointsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    auto* g = new QGridLayout(this);
    p1 = new QLineEdit(QStringLiteral("1"));
    p2 = new QLineEdit(QStringLiteral("1"));
    g->addWidget(new QLabel(QStringLiteral("Points :  From : ")), 0, 0);
    g->addWidget(p1, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("To : ")), 0, 2);
    g->addWidget(p2, 0, 3);
    cbutt = new QPushButton;
    g->addWidget(cbutt, 1, 0, 1, 2);
    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    g->addWidget(OKBtn, 2, 2);
    g->addWidget(CancelBtn, 2, 3);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbutt, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(color_, this);
        if (c.isValid()) setColor(c);
    });
    paintButton();
}

void PaintPointsDialog::setColor(const QColor& c)
{
    color_ = c;
    paintButton();
}

void PaintPointsDialog::paintButton()
{
    // The text "Color" and, 10 pixels further, a square of the current colour.
    const QFontMetrics fm = cbutt->fontMetrics();
    const int w = fm.horizontalAdvance(QStringLiteral("Color")), h = fm.height();
    QPixmap pic(w + 10 + h, h);
    pic.fill(Qt::transparent);
    QPainter p(&pic);
    p.drawText(QRect(0, 0, w, h), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Color"));
    p.fillRect(QRect(w + 10, 0, h, h), color_);
    p.end();
    cbutt->setIcon(QIcon(pic));
    cbutt->setIconSize(pic.size());
}

}  // namespace orvala
