#include "SpectraWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "ui/chart/Chart.h"
#include "ui/common/UiMessages.h"

namespace orvala {

QString SpectraWindow::DefaultFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("spectra"));
}

SpectraWindow::SpectraWindow(QString folder, QWidget* parent) : ChartWindow(parent), folder_(std::move(folder))
{
    setWindowTitle(QStringLiteral("spectra"));
    chart()->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Wavelength"));
    Multi = new QCheckBox(QStringLiteral("Multi"), this);
    Multi->setToolTip(QStringLiteral("Keep the curves drawn so far"));
    addCommandWidget(Multi);
    QAction* clear = addCommand(QStringLiteral("Clear Chart"), QStringLiteral("Remove all curves"));
    connect(clear, &QAction::triggered, this, [this] { ClearChart(); });

    auto* lists = new QHBoxLayout;
    all = new QListWidget(this);
    all->setObjectName(QStringLiteral("all"));
    auto* right = new QVBoxLayout;
    search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("search"));
    search->setPlaceholderText(QStringLiteral("Search"));
    used = new QListWidget(this);
    used->setObjectName(QStringLiteral("used"));
    right->addWidget(search);
    right->addWidget(used);
    lists->addWidget(all);
    lists->addLayout(right);
    contentLayout()->addLayout(lists);

    runCommand([this] {
        index_ = ReadSpectraNames(toEightBit(QDir(folder_).filePath(QStringLiteral("names"))));
    });
    for (const std::string& name : index_.display) all->addItem(fromEightBit(name));
    Search(QString());

    connect(search, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });
    connect(all, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { runCommand([&] { DrawEntry(all->row(item), false); }); });
    connect(used, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { runCommand([&] { DrawEntry(used->row(item), true); }); });
    resize(720, 560);
}

void SpectraWindow::Search(const QString& text)
{
    usedIndex_ = SearchSpectra(index_.display, toEightBit(text));
    used->clear();
    for (int i : usedIndex_) used->addItem(fromEightBit(index_.display[size_t(i)]));
}

void SpectraWindow::DrawEntry(int row, bool fromUsed)
{
    // A narrowed list's row is mapped to its own entry, not the full list's row.
    const int entry = fromUsed ? (row >= 0 && row < int(usedIndex_.size()) ? usedIndex_[size_t(row)] : -1) : row;
    if (entry < 0 || entry >= int(index_.files.size())) return;
    const SpectrumCurves c =
        ReadSpectrumFile(toEightBit(QDir(folder_).filePath(fromEightBit(index_.files[size_t(entry)]))));
    if (!Multi->isChecked()) chart()->clearSeries();
    const QString title = fromEightBit(index_.display[size_t(entry)]);
    const Chart::SeriesId first = chart()->addLineSeries(title, Qt::blue);
    chart()->setPoints(first, c.x1, c.y1);
    const Chart::SeriesId second = chart()->addLineSeries(title, Qt::red);
    chart()->setPoints(second, c.x2, c.y2);
    chart()->redraw();
}

void SpectraWindow::ClearChart()
{
    chart()->clearSeries();
    chart()->redraw();
}

}  // namespace orvala
