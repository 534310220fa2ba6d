#pragma once
// What the two acquisition windows share: the device picker, the trigger,
// rate and integration-time controls, limits, counters, the configuration
// commands, start/stop, the timer that reads the acquisition's state and the
// save prompt. The acquisition itself (link, recording, files) lives in
// instruments/Acquisition; this window reads its controls into settings,
// calls it and draws what comes back.
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "instruments/Acquisition.h"
#include "instruments/AcquisitionSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace orvala {

class AcquisitionForm : public QDialog {
    Q_OBJECT
public:
    ~AcquisitionForm() override;

    // The buffer file of recordings: in the user's data directory.
    static QString BufferFileName();
    // "Channel_Names" from the settings: "ch1", "ch2", ... until one is missing or empty.
    static std::vector<std::string> ReadChannelNames(const class IniFile& settings);

    // Device picker entries: the simulated instrument, and the USB instrument when attached.
    QStringList deviceNames() const;
    // Connects to device index of deviceNames(); errors are shown.
    void selectDevice(int index);

    // The buttons' work, callable without clicking (errors are shown).
    void startStop();
    // Saves the recording to fileName (empty: asks with a save dialog).
    void save(const QString& fileName = {});
    bool running() const { return acq_ && acq_->Running(); }
    Acquisition* acquisition() const { return acq_.get(); }

    // How the window asks "Data are not saved. Save it?" (tests answer it);
    // returns true for Yes.
    std::function<bool()> askSave;
    // How the window asks for a file name to save to (tests answer it); empty = cancelled.
    std::function<QString()> askFileName;

protected:
    // caption: the window's title; hyperCyt: the HyperCyt variant of the
    // configuration words and the "Mode" caption.
    AcquisitionForm(const QString& caption, bool hyperCyt, std::vector<std::string> channelNames, QWidget* parent);

    // Builds the controls; call from the derived constructor, after which
    // the window connects to its first device.
    void buildCommon();
    void connectFirstDevice();

    // The settings typed in the controls; throws OrvalaError for a number that is not one.
    AcquisitionSettings readSettings() const;
    // Shows the table's settings in the controls.
    void showTable();

    // --- what differs between the windows ---
    virtual AdcMode adcMode() const { return AdcMode::Pmt32Foa6; }
    virtual void writeWindowSettings(const AcquisitionSettings& s, ConfigTable& table) const = 0;
    virtual void showWindowSettings(const AcquisitionSettings&) {}
    virtual void transferStarted() = 0;
    virtual void transferStopped() {}
    // A decoded event to show (the newest since the last tick).
    virtual void showLatest(const std::vector<double>& values) = 0;
    // Once a second with the events of that second.
    virtual void secondTick(int64_t eventsInSecond) = 0;
    virtual QString stopBeforeSavingText() const = 0;
    virtual void saveRecording(const std::string& fileName) = 0;
    virtual void enableControls();

    void closeEvent(QCloseEvent* e) override;

    // Stops and starts again (a setting that needs a new transfer changed).
    void restart();
    // Writes the table from the controls (memory 0) when not running.
    void writeConfig(int selector);
    bool logMode() const;

    std::unique_ptr<Acquisition> acq_;
    std::vector<std::string> channelNames_;
    bool hyperCyt_ = false;

    // Layout for derived windows.
    QVBoxLayout* left_ = nullptr;    // settings column
    QVBoxLayout* charts_ = nullptr;  // right: the charts
    QHBoxLayout* buttons_ = nullptr; // command row

    QComboBox* device_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QRadioButton* edge_ = nullptr;
    QRadioButton* internal_ = nullptr;
    QLineEdit* rate_ = nullptr;
    QLineEdit* integ_ = nullptr;
    QComboBox* units_ = nullptr;
    QCheckBox* background_ = nullptr;
    QCheckBox* maxnumon_ = nullptr;
    QLineEdit* maxnum_ = nullptr;
    QCheckBox* maxtimeon_ = nullptr;
    QLineEdit* maxtime_ = nullptr;
    QLineEdit* counter_ = nullptr;
    QLineEdit* eventRate_ = nullptr;
    QLineEdit* elapsedField_ = nullptr;
    QRadioButton* display_ = nullptr;
    QRadioButton* displayLog_ = nullptr;
    QLabel* status_ = nullptr;

    DisplayRange DispRange;   // channel bars
    DisplayRange DispRange1;  // scatter bars
    bool ManualMax = false;

private:
    void tick();
    void start();
    void stop();
    void finishTransfer(int error);
    bool offerSave(const QString& question);

    QTimer timer_;
    QElapsedTimer elapsed_;
    int64_t fEventCount = 0;
    int64_t fmaxnum = 0;
    int64_t fmaxtime = 0;  // ms
    qint64 lastSecond_ = 0;
    bool settingUp_ = false;
};

}  // namespace orvala
