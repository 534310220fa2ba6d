#pragma once
// The "Acquisition" window: the instrument's settings, start and stop, the
// newest event as channel and scatter bar charts, and saving the recording
// as an LMD list-mode file.
#include "AcquisitionForm.h"
#include "ui/chart/Chart.h"

class QScrollBar;
class QSlider;

namespace orvala {

class AcquisitionWindow : public AcquisitionForm {
    Q_OBJECT
public:
    AcquisitionWindow(std::vector<std::string> channelNames, QWidget* parent = nullptr);

    Chart* bars() const { return Bars; }
    Chart* scatBar() const { return ScatBar; }
    void setAdcMode(AdcMode mode);

protected:
    AdcMode adcMode() const override;
    void writeWindowSettings(const AcquisitionSettings& s, ConfigTable& table) const override;
    void showWindowSettings(const AcquisitionSettings& s) override;
    void transferStarted() override;
    void showLatest(const std::vector<double>& values) override;
    void secondTick(int64_t eventsInSecond) override;
    QString stopBeforeSavingText() const override { return QStringLiteral("Stop Acquisition before saving"); }
    void saveRecording(const std::string& fileName) override;
    void transferStopped() override;
    void enableControls() override;

private:
    void rebuildBars();
    void highVoltageChanged();

    Chart* Bars = nullptr;
    Chart* ScatBar = nullptr;
    Chart::SeriesId barSeries_ = Chart::NoSeries;
    Chart::SeriesId scatSeries_ = Chart::NoSeries;
    QSlider* FluoBar = nullptr;
    QSlider* ScattBar = nullptr;
    QCheckBox* boxCar_ = nullptr;
    QPushButton* HVButton = nullptr;
    QScrollBar* HVScroll = nullptr;
    QLineEdit* HighVolt = nullptr;
    QButtonGroup* adc_ = nullptr;
    std::vector<QRadioButton*> adcButtons_;
};

}  // namespace orvala
