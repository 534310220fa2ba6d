#include "PlotControlPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/chart/ChartCommandBar.h"

namespace orvala {

PlotControlPanel::PlotControlPanel(QWidget* parent) : QWidget(parent)
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
    TeeCommander = new ChartCommandBar;
    top->addWidget(TeeCommander);

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

    Labels = new QCheckBox(QStringLiteral("Show Labels"));
    top->addWidget(Labels);
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
    auto* pca = new QWidget;
    auto* pl = new QVBoxLayout(pca);
    params = new QListWidget;
    pl->addWidget(params, 1);
    auto* selectRow = new QHBoxLayout;
    SelectAll = new QPushButton(QStringLiteral("Select All"));
    Button1 = new QPushButton(QStringLiteral("Unselect All"));
    selectRow->addWidget(SelectAll);
    selectRow->addWidget(Button1);
    pl->addLayout(selectRow);
    auto* matrixBox = new QGroupBox;
    auto* ml = new QVBoxLayout(matrixBox);
    MatrixType = new QButtonGroup(this);
    const char* matrixNames[] = {"Correlation", "Covariation", "Cross-Products"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(matrixNames[i]));
        MatrixType->addButton(b, i);
        ml->addWidget(b);
    }
    MatrixType->button(0)->setChecked(true);
    pl->addWidget(matrixBox);
    normal = new QCheckBox(QStringLiteral("Normalize "));
    normal->setToolTip(QStringLiteral("make all vector lengths = 1"));
    Hyper = new QCheckBox(QStringLiteral("HyperSpherical"));
    pl->addWidget(normal);
    pl->addWidget(Hyper);
    PCAbtn = new QPushButton(QStringLiteral("PCA"));
    ShowTables = new QPushButton(QStringLiteral("Show Tables"));
    pl->addWidget(PCAbtn);
    pl->addWidget(ShowTables);
    auto* fileRow = new QHBoxLayout;
    SavePC = new QPushButton(QStringLiteral("Save PC"));
    LoadPC = new QPushButton(QStringLiteral("Load PC"));
    fileRow->addWidget(SavePC);
    fileRow->addWidget(LoadPC);
    pl->addLayout(fileRow);
    pages->addTab(pca, QStringLiteral("PCA"));
    auto* scatter = new QWidget;
    addAxisControls(scatter, {&xlog, &xlin, &xlist, &ylog, &ylin, &ylist, &multi});
    pages->addTab(scatter, QStringLiteral("Scatter"));
    auto* components = new QWidget;
    // The component page has no "multi" box.
    addAxisControls(components, {&pxlog, &pxlin, &pxlist, &pylog, &pylin, &pylist, nullptr});
    pages->addTab(components, QStringLiteral("P. Components"));
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
    connect(SelectAll, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < params->count(); ++i) params->item(i)->setCheckState(Qt::Checked);
    });
    connect(Button1, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < params->count(); ++i) params->item(i)->setCheckState(Qt::Unchecked);
    });
    OriginalWidth = 200;
    setMinimumWidth(160);
}

void PlotControlPanel::addAxisControls(QWidget* page, const AxisSlots& out)
{
    auto* g = new QGridLayout(page);
    *out.xlog = new QCheckBox(QStringLiteral("log->lin"));
    *out.xlin = new QCheckBox(QStringLiteral("lin->log"));
    *out.ylog = new QCheckBox(QStringLiteral("log->lin"));
    *out.ylin = new QCheckBox(QStringLiteral("lin->log"));
    *out.xlist = new QListWidget;
    *out.ylist = new QListWidget;
    // Names are never cut short: a long one scrolls sideways instead.
    for (QListWidget* list : {*out.xlist, *out.ylist}) {
        list->setTextElideMode(Qt::ElideNone);
        list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    }
    g->addWidget(new QLabel(QStringLiteral("X")), 0, 0);
    g->addWidget(*out.xlog, 1, 0);
    g->addWidget(*out.xlin, 2, 0);
    g->addWidget(*out.xlist, 3, 0);
    if (out.multi) {
        *out.multi = new QCheckBox(QStringLiteral("multi"));
        g->addWidget(*out.multi, 4, 0);
    }
    g->addWidget(new QLabel(QStringLiteral("Y")), 0, 1);
    g->addWidget(*out.ylog, 1, 1);
    g->addWidget(*out.ylin, 2, 1);
    g->addWidget(*out.ylist, 3, 1);
    exclusive(*out.xlog, *out.xlin);
    exclusive(*out.ylog, *out.ylin);
}

void PlotControlPanel::exclusive(QCheckBox* a, QCheckBox* b)
{
    connect(a, &QCheckBox::toggled, b, [b](bool on) {
        if (on) b->setChecked(false);
    });
    connect(b, &QCheckBox::toggled, a, [a](bool on) {
        if (on) a->setChecked(false);
    });
}

void PlotControlPanel::setEntries(QListWidget* list, const QStringList& names)
{
    list->clear();
    for (const QString& n : names) {
        auto* item = new QListWidgetItem(n, list);
        // Long parameter names ("FL3-A Propidium Iodide") show whole on hover.
        item->setToolTip(n);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void PlotControlPanel::setAxisEntries(const QStringList& names)
{
    setEntries(xlist, names);
    setEntries(ylist, names);
}

void PlotControlPanel::setComponentEntries(const QStringList& names)
{
    setEntries(pxlist, names);
    setEntries(pylist, names);
}

void PlotControlPanel::setParams(const QStringList& names) { setEntries(params, names); }

int PlotControlPanel::addPage(QWidget* page, const QString& caption) { return pages->addTab(page, caption); }

int PlotControlPanel::matrixType() const { return std::max(MatrixType->checkedId(), 0); }

std::vector<int> PlotControlPanel::ticked(const QListWidget* list)
{
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) rows.push_back(i);
    return rows;
}

}  // namespace orvala
