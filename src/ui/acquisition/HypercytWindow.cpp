#include "HypercytWindow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "instruments/LmdWriter.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

constexpr int kRingPoints = 1024;
const char* const kScatterNames[6] = {"FS", "SS", "FL1", "FL2", "FL3", "FL4"};

}  // namespace

HypercytWindow::HypercytWindow(QWidget* parent) : AcquisitionForm(QStringLiteral("Hypercyt"), true, {}, parent)
{
    buildCommon();
    auto* form = new QFormLayout;
    Resolution = new QLineEdit(QStringLiteral("0.1"), this);
    Resolution->setObjectName(QStringLiteral("Resolution"));
    form->addRow(QStringLiteral("Time Resolution"), Resolution);
    TimeStamp = new QLabel(this);
    TimeStamp->setObjectName(QStringLiteral("TimeStamp"));
    form->addRow(QStringLiteral("Time stamp"), TimeStamp);
    left_->addLayout(form);
    Compatible = new QCheckBox(QStringLiteral("HyperCyt Compatible"), this);
    Compatible->setObjectName(QStringLiteral("Compatible"));
    left_->addWidget(Compatible);
    left_->addStretch(1);

    Chart_ = new Chart(this);
    Chart_->setObjectName(QStringLiteral("Chart"));
    Chart_->setMinimumSize(420, 220);
    Chart_->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Time"));
    Chart_->setAxisTitle(ChartAxis::Left, QStringLiteral("Events/s"));
    TimeSer = Chart_->addFastLineSeries(QStringLiteral("Event rate"), QColor(20, 120, 60));
    charts_->addWidget(Chart_, 1);
    auto* row = new QHBoxLayout;
    Chart1 = new Chart(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setMinimumSize(420, 220);
    ScatBar = Chart1->addBarSeries(QStringLiteral("Scatter"), QColor(200, 80, 40));
    std::vector<double> x(6), y(6, 0.0);
    for (int i = 0; i < 6; ++i)
        x[size_t(i)] = i + 1;
    Chart1->setPoints(ScatBar, std::move(x), std::move(y));
    for (int i = 0; i < 6; ++i)
        Chart1->setPointLabel(ScatBar, i, QString::fromLatin1(kScatterNames[i]));
    Chart1->setAxisRange(ChartAxis::Bottom, 0.5, 6.5);
    ScattBar = new QSlider(Qt::Vertical, this);
    ScattBar->setObjectName(QStringLiteral("ScattBar"));
    ScattBar->setRange(1, 1000);
    row->addWidget(Chart1, 1);
    row->addWidget(ScattBar);
    charts_->addLayout(row, 1);
    connect(ScattBar, &QSlider::valueChanged, this, [this](int v) {
        ManualMax = true;
        Chart1->setAxisRange(ChartAxis::Left, Chart1->axisMinimum(ChartAxis::Left), v);
        Chart1->redraw();
    });
    connectFirstDevice();
}

double HypercytWindow::resolutionValue() const
{
    try {
        const double r = ParseNumber(toEightBit(Resolution->text()));
        return r > 0 && std::isfinite(r) ? r : 0.1;
    } catch (const OrvalaError&) {
        return 0.1;
    }
}

void HypercytWindow::writeWindowSettings(const AcquisitionSettings& s, ConfigTable& table) const
{
    WriteHyperCytSettings(s, table);
}

void HypercytWindow::transferStarted()
{
    const double r = resolutionValue();
    std::vector<double> x(kRingPoints), y(kRingPoints, 0.0);
    for (int i = 0; i < kRingPoints; ++i)
        x[size_t(i)] = i * r;
    Chart_->setPoints(TimeSer, std::move(x), std::move(y));
    ring_ = 0;
    Chart_->redraw();
}

void HypercytWindow::showLatest(const std::vector<double>& values)
{
    // Fewer values than the six HyperCyt channels need show as 0.
    const auto at = [&](size_t i) { return i < values.size() ? values[i] : 0.0; };
    for (int i = 0; i < 6; ++i) {
        const double v = at(size_t(32 + i));
        DispRange1.take(v);
        Chart1->setPoint(ScatBar, i, i + 1, v);
    }
    const TiQSPDecoder d = acq_->Layout().Decoder();
    TimeStamp->setText(QString::fromStdString(TimeStampText(d.ts ? at(size_t(d.ChannelCount)) : 0)));
    if (!ManualMax) {
        const QSignalBlocker b(ScattBar);
        const int m = int(std::clamp(std::nearbyint(DispRange1.max), 1.0, 2e9));
        ScattBar->setMaximum(m);
        ScattBar->setValue(m);
        Chart1->setAxisRange(ChartAxis::Left, DispRange1.min, DispRange1.max);
    }
    Chart1->redraw();
}

void HypercytWindow::secondTick(int64_t eventsInSecond)
{
    // The timer's second: the events counted in it are the rate.
    const double rate = double(eventsInSecond);
    ring_ = (ring_ + 1) % kRingPoints;
    if (ring_ < Chart_->pointCount(TimeSer))
        Chart_->setPoint(TimeSer, ring_, ring_ * resolutionValue(), rate);
    eventRate_->setText(QString::number(std::nearbyint(rate), 'f', 0));
    Chart_->redraw();
}

void HypercytWindow::saveRecording(const std::string& fileName)
{
    SaveHyperCytLmd(fileName, acq_->LastRecording(), Compatible->isChecked(), resolutionValue());
}

}  // namespace orvala
