#pragma once
// The "Hypercyt" window: acquisition for HyperCyt sampling runs. It shows the
// six scatter and fluorescence channels of the newest event and its time
// stamp, plots the event rate over time, and saves recordings as float LMD
// files or in the HyperCyt program's 16-bit layout.
#include "AcquisitionForm.h"
#include "ui/chart/Chart.h"

class QSlider;

namespace orvala {

class HypercytWindow : public AcquisitionForm {
    Q_OBJECT
public:
    explicit HypercytWindow(QWidget* parent = nullptr);

    Chart* chart() const { return Chart_; }
    Chart* chart1() const { return Chart1; }
    QCheckBox* compatible() const { return Compatible; }
    QLineEdit* resolution() const { return Resolution; }
    QLabel* timeStamp() const { return TimeStamp; }

protected:
    void writeWindowSettings(const AcquisitionSettings& s, ConfigTable& table) const override;
    void transferStarted() override;
    void showLatest(const std::vector<double>& values) override;
    void secondTick(int64_t eventsInSecond) override;
    QString stopBeforeSavingText() const override { return QStringLiteral("Stop Hypercyt before saving"); }
    void saveRecording(const std::string& fileName) override;

private:
    double resolutionValue() const;

    Chart* Chart_ = nullptr;
    Chart* Chart1 = nullptr;
    Chart::SeriesId TimeSer = Chart::NoSeries;
    Chart::SeriesId ScatBar = Chart::NoSeries;
    QSlider* ScattBar = nullptr;
    QLineEdit* Resolution = nullptr;
    QLabel* TimeStamp = nullptr;
    QCheckBox* Compatible = nullptr;
    int ring_ = 0;
};

}  // namespace orvala
