#include "TPlotCon.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orvala {

TPlotCon::TPlotCon(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Noname"));
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(2, 2, 2, 2);

    auto* bar = new QHBoxLayout;
    ColorPoints = new QPushButton(QStringLiteral("Paint"));
    ColorPoints->setToolTip(QStringLiteral("Paint Points"));
    bar->addWidget(ColorPoints);
    density = new QPushButton(QStringLiteral("Density"));
    density->setCheckable(true);
    bar->addWidget(density);
    bquickview = new QPushButton(QStringLiteral("View"));
    bquickview->setCheckable(true);
    bquickview->setToolTip(QStringLiteral("Push and Click any data point to preview"));
    bar->addWidget(bquickview);
    bar->addStretch();
    top->addLayout(bar);

    auto* gates = new QGroupBox(QStringLiteral("Gates"));
    auto* gl = new QHBoxLayout(gates);
    markers = new QPushButton(QStringLiteral("| |"));
    markers->setToolTip(QStringLiteral("Show Markers"));
    OneDGate = new QPushButton(QStringLiteral("1 D"));
    OneDGate->setToolTip(QStringLiteral("Gate the range between the markers"));
    gl->addWidget(markers);
    gl->addWidget(OneDGate);
    poly = new QPushButton(QStringLiteral("2 D"));
    poly->setCheckable(true);
    poly->setToolTip(QStringLiteral("Draw a polygon gate; end it with the right button"));
    Reverse = new QCheckBox(QStringLiteral("Inverse gate"));
    gl->addWidget(poly);
    gl->addWidget(Reverse);
    top->addWidget(gates);

    ShowPointer = new QCheckBox(QStringLiteral("Show Pointer"));
    top->addWidget(ShowPointer);
    auto* dot = new QHBoxLayout;
    dot->addWidget(new QLabel(QStringLiteral("Dot Size")));
    pointsize = new QSpinBox;
    pointsize->setMinimum(1);
    pointsize->setMaximum(20);
    pointsize->setValue(1);
    dot->addWidget(pointsize);
    top->addLayout(dot);

    pages = new QTabWidget;
    // Only the axis page is built; the PCA pages stay disabled until their work exists.
    pages->addTab(new QWidget, QStringLiteral("PCA"));
    auto* scatter = new QWidget;
    auto* sg = new QGridLayout(scatter);
    xlog = new QCheckBox(QStringLiteral("log->lin"));
    xlin = new QCheckBox(QStringLiteral("lin->log"));
    ylog = new QCheckBox(QStringLiteral("log->lin"));
    ylin = new QCheckBox(QStringLiteral("lin->log"));
    xlist = new QListWidget;
    ylist = new QListWidget;
    sg->addWidget(new QLabel(QStringLiteral("X")), 0, 0);
    sg->addWidget(xlog, 1, 0);
    sg->addWidget(xlin, 2, 0);
    sg->addWidget(xlist, 3, 0);
    multi = new QCheckBox(QStringLiteral("multi"));
    sg->addWidget(multi, 4, 0);
    sg->addWidget(new QLabel(QStringLiteral("Y")), 0, 1);
    sg->addWidget(ylog, 1, 1);
    sg->addWidget(ylin, 2, 1);
    sg->addWidget(ylist, 3, 1);
    pages->addTab(scatter, QStringLiteral("Scatter"));
    pages->addTab(new QWidget, QStringLiteral("P. Components"));
    pages->setTabEnabled(PcaPage, false);
    pages->setTabEnabled(ComponentsPage, false);
    pages->setCurrentIndex(ScatterPage);
    top->addWidget(pages, 1);

    Redrawbutt = new QPushButton(QStringLiteral("Redraw"));
    top->addWidget(Redrawbutt);

    // Drawing a polygon takes the mouse: no quick view, no pointer meanwhile.
    connect(poly, &QPushButton::toggled, this, [this](bool on) {
        if (!on) return;
        bquickview->setChecked(false);
        ShowPointer->setChecked(false);
    });
    exclusive(xlog, xlin);
    exclusive(ylog, ylin);
    OriginalWidth = 200;
    setMinimumWidth(160);
}

void TPlotCon::exclusive(QCheckBox* a, QCheckBox* b)
{
    // Checking one scale box of an axis unchecks its partner; unchecking changes nothing else.
    connect(a, &QCheckBox::toggled, b, [b](bool on) {
        if (on) b->setChecked(false);
    });
    connect(b, &QCheckBox::toggled, a, [a](bool on) {
        if (on) a->setChecked(false);
    });
}

void TPlotCon::setAxisEntries(const QStringList& names)
{
    for (QListWidget* list : {xlist, ylist}) {
        list->clear();
        for (const QString& n : names) {
            auto* item = new QListWidgetItem(n, list);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
}

std::vector<int> TPlotCon::ticked(const QListWidget* list)
{
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) rows.push_back(i);
    return rows;
}

}  // namespace orvala
