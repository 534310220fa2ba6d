#include "AcquisitionWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "instruments/LmdWriter.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

// Track bars carry whole numbers; a chart maximum beyond int range is clamped.
int sliderValue(double v) { return int(std::clamp(std::nearbyint(v), 1.0, 2e9)); }

}  // namespace

AcquisitionWindow::AcquisitionWindow(std::vector<std::string> channelNames, QWidget* parent)
    : AcquisitionForm(QStringLiteral("Acquisition"), false, std::move(channelNames), parent)
{
    buildCommon();

    boxCar_ = new QCheckBox(QStringLiteral("BoxCar"), this);
    boxCar_->setChecked(true);
    left_->insertWidget(1, boxCar_);

    auto* adcBox = new QGroupBox(QStringLiteral("ADCMode"), this);
    auto* al = new QVBoxLayout(adcBox);
    adc_ = new QButtonGroup(this);
    const auto& captions = AdcModeCaptions();
    for (size_t i = 0; i < captions.size(); ++i) {
        auto* b = new QRadioButton(QString::fromStdString(captions[i]), adcBox);
        adc_->addButton(b, int(i));
        al->addWidget(b);
        adcButtons_.push_back(b);
    }
    adcButtons_[0]->setChecked(true);
    left_->addWidget(adcBox);

    auto* hv = new QGroupBox(QStringLiteral("High voltage"), this);
    auto* hl = new QHBoxLayout(hv);
    HVButton = new QPushButton(QStringLiteral("HV"), hv);
    HVButton->setObjectName(QStringLiteral("HVButton"));
    HVButton->setCheckable(true);
    HVScroll = new QScrollBar(Qt::Vertical, hv);
    HVScroll->setObjectName(QStringLiteral("HVScroll"));
    HVScroll->setRange(50, 800);
    HVScroll->setValue(100);
    HVScroll->setMinimumHeight(80);
    HighVolt = new QLineEdit(QString::fromStdString(HighVoltageText(100)), hv);
    HighVolt->setObjectName(QStringLiteral("HighVolt"));
    HighVolt->setReadOnly(true);
    HighVolt->setMaximumWidth(60);
    hl->addWidget(HVButton);
    hl->addWidget(HVScroll);
    hl->addWidget(HighVolt);
    left_->addWidget(hv);
    left_->addStretch(1);

    const auto chartRow = [this](Chart*& chart, QSlider*& slider, const QString& name) {
        auto* row = new QHBoxLayout;
        chart = new Chart(this);
        chart->setObjectName(name);
        chart->setMinimumSize(420, 220);
        slider = new QSlider(Qt::Vertical, this);
        slider->setRange(1, 1000);
        row->addWidget(chart, 1);
        row->addWidget(slider);
        charts_->addLayout(row, 1);
    };
    chartRow(Bars, FluoBar, QStringLiteral("Bars"));
    chartRow(ScatBar, ScattBar, QStringLiteral("ScatBar"));
    FluoBar->setObjectName(QStringLiteral("FluoBar"));
    ScattBar->setObjectName(QStringLiteral("ScattBar"));
    Bars->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Channel"));
    ScatBar->setAxisTitle(ChartAxis::Bottom, QStringLiteral("Scatter channel"));
    barSeries_ = Bars->addBarSeries(QStringLiteral("Channels"), QColor(40, 90, 200));
    scatSeries_ = ScatBar->addBarSeries(QStringLiteral("Scatter"), QColor(200, 80, 40));
    rebuildBars();

    connect(FluoBar, &QSlider::valueChanged, this, [this](int v) {
        ManualMax = true;
        Bars->setAxisRange(ChartAxis::Left, Bars->axisMinimum(ChartAxis::Left), v);
        Bars->redraw();
    });
    connect(ScattBar, &QSlider::valueChanged, this, [this](int v) {
        ManualMax = true;
        ScatBar->setAxisRange(ChartAxis::Left, ScatBar->axisMinimum(ChartAxis::Left), v);
        ScatBar->redraw();
    });
    connect(boxCar_, &QCheckBox::toggled, this, [this] { enableControls(); });
    connect(adc_, &QButtonGroup::idClicked, this, [this](int id) {
        runCommand([&] {
            if (acq_ && acq_->DataNotSaved && askSave && askSave())
                save();
        });
        setAdcMode(AdcMode(id));
    });
    connect(HVButton, &QPushButton::toggled, this, [this] { highVoltageChanged(); });
    connect(HVScroll, &QScrollBar::valueChanged, this, [this](int p) {
        HighVolt->setText(QString::fromStdString(HighVoltageText(p)));
        if (HVButton->isChecked())
            highVoltageChanged();
    });
    connectFirstDevice();
}

AdcMode AcquisitionWindow::adcMode() const { return AdcMode(std::max(0, adc_->checkedId())); }

void AcquisitionWindow::setAdcMode(AdcMode mode)
{
    adcButtons_[size_t(mode)]->setChecked(true);
    rebuildBars();
}

void AcquisitionWindow::writeWindowSettings(const AcquisitionSettings& read, ConfigTable& table) const
{
    AcquisitionSettings s = read;
    s.boxCar = boxCar_->isChecked();
    s.hvOn = HVButton->isChecked();
    s.hvScroll = HVScroll->value();
    WriteSettings(s, table);
}

void AcquisitionWindow::showWindowSettings(const AcquisitionSettings& s)
{
    const QSignalBlocker b1(HVButton), b2(HVScroll), b3(boxCar_);
    HVButton->setChecked(s.hvOn);
    HVScroll->setValue(s.hvScroll);
    HighVolt->setText(QString::fromStdString(HighVoltageText(s.hvScroll)));
    boxCar_->setChecked(s.boxCar);
}

void AcquisitionWindow::enableControls()
{
    AcquisitionForm::enableControls();
    const bool edge = edge_->isChecked();
    if (boxCar_)
        boxCar_->setEnabled(edge);
    // Edge triggering: the boxcar measures the pulse unless it is off.
    integ_->setEnabled(!edge || (boxCar_ && !boxCar_->isChecked()));
}

void AcquisitionWindow::highVoltageChanged()
{
    runCommand([this] {
        if (!running()) {
            writeConfig(0);
            return;
        }
        // The supply needs a moment to settle before events mean anything.
        startStop();
        QTimer::singleShot(1000, this, [this] {
            if (!running())
                startStop();
        });
    });
}

void AcquisitionWindow::rebuildBars()
{
    const AdcLayout& l = Layout(adcMode());
    std::vector<double> x(size_t(l.bars)), y(size_t(l.bars), 0.0);
    for (int i = 0; i < l.bars; ++i)
        x[size_t(i)] = i + 1;
    Bars->setPoints(barSeries_, std::move(x), std::move(y));
    Bars->setAxisRange(ChartAxis::Bottom, 0.5, l.axisMax);
    std::vector<double> sx(6), sy(6, 0.0);
    for (int i = 0; i < 6; ++i)
        sx[size_t(i)] = 33 + i;
    ScatBar->setPoints(scatSeries_, std::move(sx), std::move(sy));
    for (int i = 0; i < 6; ++i)
        ScatBar->setPointLabel(scatSeries_, i, fromEightBit(ChannelName(channelNames_, i)));
    ScatBar->setAxisRange(ChartAxis::Bottom, 32.5, 38.5);
    Bars->setAxisRange(ChartAxis::Left, DispRange.min, DispRange.max);
    ScatBar->setAxisRange(ChartAxis::Left, DispRange1.min, DispRange1.max);
    Bars->redraw();
    ScatBar->redraw();
}

void AcquisitionWindow::transferStarted()
{
    rebuildBars();
    for (QRadioButton* b : adcButtons_)
        b->setEnabled(false);
}

void AcquisitionWindow::transferStopped()
{
    for (QRadioButton* b : adcButtons_)
        b->setEnabled(true);
}

void AcquisitionWindow::showLatest(const std::vector<double>& values)
{
    std::vector<double> bars, scatter;
    BarValues(acq_->Layout().adc, values.data(), int(values.size()), bars, scatter);
    for (double v : bars)
        DispRange.take(v);
    for (double v : scatter)
        DispRange1.take(v);
    for (size_t i = 0; i < bars.size() && int(i) < Bars->pointCount(barSeries_); ++i)
        Bars->setPoint(barSeries_, int(i), double(i + 1), bars[i]);
    for (size_t i = 0; i < scatter.size(); ++i)
        ScatBar->setPoint(scatSeries_, int(i), double(33 + i), scatter[i]);
    if (!ManualMax) {
        const QSignalBlocker b1(FluoBar), b2(ScattBar);
        FluoBar->setMaximum(sliderValue(DispRange.max));
        FluoBar->setValue(sliderValue(DispRange.max));
        ScattBar->setMaximum(sliderValue(DispRange1.max));
        ScattBar->setValue(sliderValue(DispRange1.max));
        Bars->setAxisRange(ChartAxis::Left, DispRange.min, DispRange.max);
        ScatBar->setAxisRange(ChartAxis::Left, DispRange1.min, DispRange1.max);
    }
    Bars->redraw();
    ScatBar->redraw();
}

void AcquisitionWindow::secondTick(int64_t eventsInSecond) { eventRate_->setText(QString::number(eventsInSecond)); }

void AcquisitionWindow::saveRecording(const std::string& fileName)
{
    SaveAcquisitionLmd(fileName, acq_->LastRecording(), channelNames_);
}

}  // namespace orvala
