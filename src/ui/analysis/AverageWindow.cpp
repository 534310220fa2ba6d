#include "AverageWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>
#include <charconv>

#include "RangeSlider.h"
#include "analysis/Averages.h"
#include "analysis/TDBSpec.h"
#include "analysis/Transforms.h"
#include "core/Messages.h"
#include "ui/common/DataEvents.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/WaitCursor.h"
#include "ui/spectra/DecompositionDialog.h"
#include "ui/spectra/SpectrumNameDialog.h"

namespace orvala {

namespace {

QColor colorOf(TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

// The whole text as a decimal integer, or an error naming it.
int integerOf(const QString& text)
{
    const std::string s = text.trimmed().toStdString();
    int v = 0;
    const char* end = s.data() + s.size();
    const auto r = std::from_chars(s.data() + (!s.empty() && s[0] == '+'), end, v);
    if (s.empty() || r.ec != std::errc() || r.ptr != end)
        throw OrvalaError("'" + text.toStdString() + "' is not a valid integer value");
    return v;
}

}  // namespace

AverageWindow::AverageWindow(DataListWindow* dataList, TMultiThread* pool, QWidget* parent)
    : ChartWindow(parent), libraryPath(DecompositionDialog::UserLibraryPath()),
      defaultLibraryPath(DecompositionDialog::DefaultLibraryPath()), dataList_(dataList), pool_(pool)
{
    setWindowTitle(QStringLiteral("Average"));
    chart()->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Channel"));
    chart()->setAxisTitle(ChartAxis::Left, QStringLiteral("Mean"));

    menu = new QMenuBar(this);
    QMenu* average = menu->addMenu(QStringLiteral("Average"));
    saveAction = average->addAction(QStringLiteral("Save"));
    contentLayout()->setMenuBar(menu);
    connect(saveAction, &QAction::triggered, this, [this] { runCommand([this] { askSaveText(); }); });

    cutButton = addCommand(QStringLiteral("Cut"), QStringLiteral("Make the chosen events a new data set"));
    spectrumButton = addCommand(QStringLiteral("Save as Spectrum"),
                                QStringLiteral("Store the mean curve in the spectra library"));
    connect(cutButton, &QAction::triggered, this, [this] { runCommand([this] { Cut(); }); });
    connect(spectrumButton, &QAction::triggered, this, [this] { runCommand([this] { askSpectrum(); }); });

    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 4, 6, 0);
    Series = new QComboBox(this);
    Series->setObjectName(QStringLiteral("Series"));
    Series->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Series->setMinimumContentsLength(8);
    start = new QLineEdit(this);
    start->setObjectName(QStringLiteral("start"));
    stop = new QLineEdit(this);
    stop->setObjectName(QStringLiteral("stop"));
    for (QLineEdit* e : {start, stop}) e->setMaximumWidth(80);
    PhQ = new QCheckBox(QStringLiteral("32 ch"), this);
    PhQ->setObjectName(QStringLiteral("PhQ"));
    PhQ->setToolTip(QStringLiteral("Plot the 32 detector channels at their wavelengths"));
    row->addWidget(Series, 1);
    row->addWidget(start);
    row->addWidget(stop);
    row->addWidget(PhQ);
    contentLayout()->addLayout(row);
    ranger = new RangeSlider(this);
    ranger->setObjectName(QStringLiteral("ranger"));
    ranger->setToolTip(QStringLiteral("Press and hold shift to move both sliders"));
    auto* sliderRow = new QHBoxLayout;
    sliderRow->setContentsMargins(6, 2, 6, 6);
    sliderRow->addWidget(ranger);
    contentLayout()->addLayout(sliderRow);

    connect(ranger, &RangeSlider::valuesChanged, this, [this](int low, int high) { rangeMoved(low, high); });
    connect(Series, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!syncing_) runCommand([&] { select(index); });
    });
    connect(PhQ, &QCheckBox::toggled, this, [this] { runCommand([this] { draw(current_); }); });
    connect(start, &QLineEdit::editingFinished, this, [this] { editFinished(start); });
    connect(stop, &QLineEdit::editingFinished, this, [this] { editFinished(stop); });
    resize(386, 474);
}

AverageWindow::~AverageWindow() = default;

void AverageWindow::Add(TData* data)
{
    if (!data) return;
    const int n = data->events();
    if (n <= 0) throw OrvalaError(data->FullName() + " has no events to average");
    Shown s;
    s.data = DataRef(data);
    const QString name = fromEightBit(data->FullName());
    s.line = chart()->addLineSeries(name, colorOf(data->NativeColor()), 2);
    chart()->setVertexMarkers(s.line, true, 5);
    // The error-bar series shows the same curve; its title names it too, so
    // the text file says whose numbers follow.
    s.errors = chart()->addErrorBarSeries(name, QColor(255, 0, 0));
    chart()->setErrorWidth(s.errors, 6);
    s.start = 0;
    s.stop = n - 1;
    fdata.push_back(std::move(s));
    syncing_ = true;
    Series->addItem(name);
    syncing_ = false;
    chart()->setTitle(name + QStringLiteral(" Events : ") + QString::number(n));
    select(int(fdata.size()) - 1);
}

void AverageWindow::select(int index)
{
    if (index < 0 || index >= int(fdata.size())) return;
    current_ = index;
    Shown& s = fdata[size_t(index)];
    const int n = s.data->events();
    if (n > 0) {
        s.start = std::clamp(s.start, 0, n - 1);
        s.stop = std::clamp(s.stop, s.start, n - 1);
    }
    syncing_ = true;
    Series->setCurrentIndex(index);
    // The range may have outlived events removed since it was chosen.
    ranger->setRange(0, n - 1);
    ranger->setValues(s.start, s.stop);
    syncing_ = false;
    start->setText(QString::number(s.start));
    stop->setText(QString::number(s.stop));
    draw(index);
}

void AverageWindow::draw(int index)
{
    if (index < 0 || index >= int(fdata.size())) return;
    Shown& s = fdata[size_t(index)];
    TData& d = *s.data;
    if (!s.sums || !s.sums->fits(d)) s.sums = std::make_shared<AverageSums>(d, pool_);
    AverageCurve c = AverageCurveOf(d, s.start, s.stop, PhQ->isChecked(), pool_, s.sums.get());
    const bool wavelengths = PhQ->isChecked() && d.CaseSize() >= int(ChannelWavelengths.size());
    chart()->setAxisTitle(ChartAxis::Bottom, wavelengths ? QStringLiteral("Wavelength (nm)") : QStringLiteral("Channel"));
    chart()->setPoints(s.line, c.x, c.y);
    chart()->setPoints(s.errors, std::move(c.x), std::move(c.y));
    chart()->setPointErrors(s.errors, std::move(c.err));
    s.drawnModified = d.Modified();
    chart()->redraw();
}

void AverageWindow::rangeMoved(int low, int high)
{
    if (syncing_ || current_ < 0) return;
    Shown& s = fdata[size_t(current_)];
    s.start = low;
    s.stop = high;
    start->setText(QString::number(low));
    stop->setText(QString::number(high));
    runCommand([this] { draw(current_); });
}

void AverageWindow::editFinished(QLineEdit* edit)
{
    // A typed position moves its thumb; text that is no number stays for
    // "Cut" to refuse.
    if (current_ < 0) return;
    int v = 0;
    try {
        v = integerOf(edit->text());
    } catch (const OrvalaError&) {
        return;
    }
    if (edit == start)
        ranger->setLow(v);
    else
        ranger->setHigh(std::max(v, ranger->low()));
    start->setText(QString::number(ranger->low()));
    stop->setText(QString::number(ranger->high()));
}

void AverageWindow::setRange(int first, int last)
{
    ranger->setValues(first, last);
}

int AverageWindow::rangeStart() const { return current_ < 0 ? 0 : fdata[size_t(current_)].start; }

int AverageWindow::rangeStop() const { return current_ < 0 ? 0 : fdata[size_t(current_)].stop; }

TData* AverageWindow::selected() const { return current_ < 0 ? nullptr : fdata[size_t(current_)].data.get(); }

TData* AverageWindow::Cut()
{
    if (fdata.empty()) return nullptr;
    const int first = integerOf(start->text());
    const int last = integerOf(stop->text());
    TData& d = *fdata.front().data;
    std::unique_ptr<TData> part;
    {
        WaitCursor wait;
        part.reset(CutPart(d, first, last));
    }
    TData* result = part.release();
    if (dataList_) dataList_->Add(result);
    return result;
}

void AverageWindow::SaveAsSpectrum(const QString& name, bool normalize)
{
    if (fdata.empty()) return;
    const std::vector<double> values = chart()->yValues(fdata.front().line);
    SaveSpectrumToLibrary(toEightBit(libraryPath), toEightBit(defaultLibraryPath),
                          SpectrumEntryName(toEightBit(name)), values, normalize);
}

void AverageWindow::askSpectrum()
{
    SpectrumNameDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    SaveAsSpectrum(dialog.sname->text(), dialog.norm->isChecked());
}

void AverageWindow::SaveText(const QString& fileName)
{
    std::vector<TextSeries> series;
    for (int i = 0; i < chart()->seriesCount(); ++i) {
        const Chart::SeriesId id = chart()->seriesAt(i);
        series.push_back({toEightBit(chart()->seriesTitle(id)), chart()->xValues(id), chart()->yValues(id)});
    }
    SaveAverageText(QFile::encodeName(fileName).toStdString(), series);
}

void AverageWindow::askSaveText()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save"));
    if (name.isEmpty()) return;
    SaveText(name);
}

bool AverageWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return ChartWindow::event(e);
    dropQueuedDataEvents(this, WMDataChanged);
    dataChanged();
    return true;
}

void AverageWindow::dataChanged()
{
    // Removed data sets leave the window; with none left it closes.
    bool removed = false;
    for (size_t i = fdata.size(); i-- > 0;) {
        if (!fdata[i].data->Deleted()) continue;
        chart()->removeSeries(fdata[i].line);
        chart()->removeSeries(fdata[i].errors);
        fdata.erase(fdata.begin() + std::ptrdiff_t(i));
        syncing_ = true;
        Series->removeItem(int(i));
        syncing_ = false;
        removed = true;
    }
    if (fdata.empty()) {
        current_ = -1;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
        return;
    }
    runCommand([&] {
        if (removed) {
            select(std::clamp(current_, 0, int(fdata.size()) - 1));
            return;
        }
        for (size_t i = 0; i < fdata.size(); ++i)
            if (fdata[i].data->Modified() != fdata[i].drawnModified) {
                if (int(i) == current_)
                    select(current_);  // the slider follows a changed event count
                else
                    draw(int(i));
            }
    });
}

}  // namespace orvala
