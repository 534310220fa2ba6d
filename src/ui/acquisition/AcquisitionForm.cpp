#include "AcquisitionForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "instruments/HidapiTransport.h"
#include "instruments/SimTransport.h"
#include "ui/common/IniFile.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

// The display follows the acquisition ten times a second; counters and the
// event rate once a second.
constexpr int kTickMs = 100;

QString numberText(double v) { return QLocale::c().toString(v, 'g', 10); }

}  // namespace

AcquisitionForm::AcquisitionForm(const QString& caption, bool hyperCyt, std::vector<std::string> channelNames,
                                 QWidget* parent)
    : QDialog(parent), channelNames_(std::move(channelNames)), hyperCyt_(hyperCyt)
{
    setWindowTitle(caption);
    setObjectName(caption);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { runCommand([this] { tick(); }); });
    askSave = [this] {
        return QMessageBox::warning(this, windowTitle(), QStringLiteral("Data are not saved. Save it?"),
                                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    askFileName = [this] {
        QFileDialog d(this, QStringLiteral("Save"), QDir::homePath(), QStringLiteral("List Mode Files(*.LMD)"));
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setDefaultSuffix(QStringLiteral("LMD"));
        return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty() ? d.selectedFiles().first() : QString();
    };
}

AcquisitionForm::~AcquisitionForm() = default;

QString AcquisitionForm::BufferFileName()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(dir).filePath(QStringLiteral("Buffer.log"));
}

std::vector<std::string> AcquisitionForm::ReadChannelNames(const IniFile& settings)
{
    std::vector<std::string> names;
    for (int i = 1;; ++i) {
        const QString v = settings.ReadString(QStringLiteral("Channel_Names"), QStringLiteral("ch%1").arg(i), {});
        if (v.isEmpty())
            break;
        names.push_back(toEightBit(v));
    }
    return names;
}

QStringList AcquisitionForm::deviceNames() const
{
    QStringList names{QStringLiteral("Simulated instrument")};
    if (InstrumentAttached())
        names << QStringLiteral("iQSP instrument (USB)");
    return names;
}

void AcquisitionForm::buildCommon()
{
    auto* outer = new QVBoxLayout(this);
    buttons_ = new QHBoxLayout;
    outer->addLayout(buttons_);
    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);
    left_ = new QVBoxLayout;
    charts_ = new QVBoxLayout;
    body->addLayout(left_);
    body->addLayout(charts_, 1);
    status_ = new QLabel(this);
    outer->addWidget(status_);

    device_ = new QComboBox(this);
    device_->setObjectName(QStringLiteral("Device"));
    device_->addItems(deviceNames());
    buttons_->addWidget(new QLabel(QStringLiteral("Instrument"), this));
    buttons_->addWidget(device_);
    start_ = new QPushButton(QStringLiteral("Start"), this);
    start_->setObjectName(QStringLiteral("Start"));
    saveButton_ = new QPushButton(QStringLiteral("Save"), this);
    saveButton_->setObjectName(QStringLiteral("Save"));
    buttons_->addWidget(start_);
    buttons_->addWidget(saveButton_);
    auto* readConfig = new QPushButton(QStringLiteral("Read Config"), this);
    auto* writeConfigButton = new QPushButton(QStringLiteral("Write_Config"), this);
    auto* defaults = new QPushButton(QStringLiteral("Set Default Config"), this);
    auto* backgroundCalc = new QPushButton(QStringLiteral("Background Calculation"), this);
    auto* resetLimits = new QPushButton(QStringLiteral("Reset Limits"), this);
    for (QPushButton* b : {readConfig, writeConfigButton, defaults, backgroundCalc, resetLimits}) {
        b->setObjectName(b->text());
        buttons_->addWidget(b);
    }
    buttons_->addStretch(1);

    auto* trigger = new QGroupBox(QStringLiteral("TriggerMode"), this);
    auto* tl = new QHBoxLayout(trigger);
    edge_ = new QRadioButton(QStringLiteral("Edge"), trigger);
    internal_ = new QRadioButton(QStringLiteral("Internal"), trigger);
    edge_->setChecked(true);
    tl->addWidget(edge_);
    tl->addWidget(internal_);
    left_->addWidget(trigger);

    auto* form = new QFormLayout;
    rate_ = new QLineEdit(QStringLiteral("1000"), this);
    rate_->setObjectName(QStringLiteral("Rate"));
    form->addRow(QStringLiteral(" Rate Hz"), rate_);
    auto* integRow = new QHBoxLayout;
    integ_ = new QLineEdit(QStringLiteral("15"), this);
    integ_->setObjectName(QStringLiteral("IntegTime"));
    units_ = new QComboBox(this);
    units_->setObjectName(QStringLiteral("Units"));
    units_->addItems({QStringLiteral("mS"), QStringLiteral("uS"), QStringLiteral("nS")});
    units_->setCurrentIndex(1);
    integRow->addWidget(integ_);
    integRow->addWidget(units_);
    form->addRow(QStringLiteral("IntegTime"), integRow);
    maxnumon_ = new QCheckBox(QStringLiteral("Max Number of Events"), this);
    maxnum_ = new QLineEdit(this);
    maxnum_->setObjectName(QStringLiteral("MaxNumber"));
    form->addRow(maxnumon_, maxnum_);
    maxtimeon_ = new QCheckBox(QStringLiteral("Max Time (S)"), this);
    maxtime_ = new QLineEdit(this);
    maxtime_->setObjectName(QStringLiteral("MaxTime"));
    form->addRow(maxtimeon_, maxtime_);
    counter_ = new QLineEdit(QStringLiteral("0"), this);
    counter_->setObjectName(QStringLiteral("Counter"));
    eventRate_ = new QLineEdit(QStringLiteral("0"), this);
    eventRate_->setObjectName(QStringLiteral("Event Rate"));
    elapsedField_ = new QLineEdit(QStringLiteral("0"), this);
    elapsedField_->setObjectName(QStringLiteral("Time"));
    for (QLineEdit* e : {counter_, eventRate_, elapsedField_})
        e->setReadOnly(true);
    form->addRow(QStringLiteral("Counter"), counter_);
    form->addRow(QStringLiteral("Event Rate"), eventRate_);
    form->addRow(QStringLiteral("Time (s)"), elapsedField_);
    left_->addLayout(form);

    background_ = new QCheckBox(QStringLiteral("Background subtraction"), this);
    background_->setChecked(true);
    left_->addWidget(background_);

    auto* mode = new QGroupBox(hyperCyt_ ? QStringLiteral("Mode") : QStringLiteral("Acquisition"), this);
    auto* ml = new QHBoxLayout(mode);
    display_ = new QRadioButton(QStringLiteral("Display"), mode);
    displayLog_ = new QRadioButton(QStringLiteral("Display&&Log"), mode);
    displayLog_->setObjectName(QStringLiteral("Display&Log"));
    display_->setChecked(true);
    ml->addWidget(display_);
    ml->addWidget(displayLog_);
    left_->addWidget(mode);

    connect(start_, &QPushButton::clicked, this, [this] { startStop(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { save(); });
    connect(readConfig, &QPushButton::clicked, this, [this] {
        runCommand([this] {
            if (running() || !acq_)
                return;
            acq_->ReadTable(1);
            showTable();
        });
    });
    connect(writeConfigButton, &QPushButton::clicked, this, [this] {
        runCommand([this] {
            if (!running())
                writeConfig(1);
        });
    });
    connect(defaults, &QPushButton::clicked, this, [this] {
        runCommand([this] {
            if (!acq_)
                return;
            acq_->Table = iqsp::DefaultConfigTable();
            showTable();
        });
    });
    connect(backgroundCalc, &QPushButton::clicked, this, [this] {
        runCommand([this] {
            if (running() || !acq_)
                return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            struct Restore {
                ~Restore() { QApplication::restoreOverrideCursor(); }
            } restore;
            writeWindowSettings(readSettings(), acq_->Table);
            acq_->BackgroundCalculation();
            showTable();
        });
    });
    connect(resetLimits, &QPushButton::clicked, this, [this] {
        ManualMax = false;
        DispRange.reset();
        DispRange1.reset();
    });
    connect(edge_, &QRadioButton::toggled, this, [this] {
        enableControls();
        if (running())
            restart();
    });
    connect(background_, &QCheckBox::toggled, this, [this] {
        if (running())
            restart();
    });
    connect(maxnumon_, &QCheckBox::toggled, this, [this] { enableControls(); });
    connect(maxtimeon_, &QCheckBox::toggled, this, [this] { enableControls(); });
    connect(displayLog_, &QRadioButton::toggled, this, [this] {
        if (!running() || settingUp_)
            return;
        runCommand([this] {
            stop();
            start();
        });
    });
    connect(device_, &QComboBox::activated, this, [this](int index) { selectDevice(index); });
}

void AcquisitionForm::connectFirstDevice()
{
    enableControls();
    selectDevice(device_->currentIndex());
}

void AcquisitionForm::selectDevice(int index)
{
    runCommand([&] {
        if (running())
            stop();
        if (acq_ && acq_->DataNotSaved && offerSave(QStringLiteral("Data are not saved. Save it?")))
            save();
        std::unique_ptr<HidTransport> transport;
        if (index == 0)
            transport = std::make_unique<SimTransport>(uint32_t(QDateTime::currentMSecsSinceEpoch()),
                                                       SimTransport::Pacing::TriggerRate);
        else
            transport = std::make_unique<HidapiTransport>();
        device_->setCurrentIndex(index);
        acq_ = std::make_unique<Acquisition>(std::move(transport), BufferFileName().toStdString());
        status_->setText(QStringLiteral("Connecting to %1").arg(device_->itemText(index)));
        acq_->Open();
        status_->setText(QStringLiteral("%1: buffer file %2").arg(device_->itemText(index), BufferFileName()));
        showTable();
    });
}

bool AcquisitionForm::logMode() const { return displayLog_->isChecked(); }

AcquisitionSettings AcquisitionForm::readSettings() const
{
    AcquisitionSettings s;
    s.trigger = internal_->isChecked() ? TriggerMode::Internal : TriggerMode::Edge;
    s.rateHz = ParseNumber(toEightBit(rate_->text()));
    s.integTime = ParseNumber(toEightBit(integ_->text()));
    s.unit = TimeUnit(units_->currentIndex());
    s.background = background_->isChecked();
    s.adc = adcMode();
    return s;
}

void AcquisitionForm::showTable()
{
    if (!acq_)
        return;
    settingUp_ = true;
    AcquisitionSettings current;
    current.unit = TimeUnit(units_->currentIndex());
    try {
        current.rateHz = ParseNumber(toEightBit(rate_->text()));
    } catch (const OrvalaError&) {
    }
    const AcquisitionSettings s = ShowSettings(acq_->Table, current);
    const QSignalBlocker b1(edge_), b2(internal_), b3(background_);
    (s.trigger == TriggerMode::Internal ? internal_ : edge_)->setChecked(true);
    rate_->setText(numberText(s.rateHz));
    integ_->setText(numberText(s.integTime));
    background_->setChecked(s.background);
    showWindowSettings(s);
    settingUp_ = false;
    enableControls();
}

void AcquisitionForm::enableControls()
{
    const bool internal = internal_->isChecked();
    rate_->setEnabled(internal);
    integ_->setEnabled(internal);
    maxnum_->setEnabled(maxnumon_->isChecked());
    maxtime_->setEnabled(maxtimeon_->isChecked());
}

void AcquisitionForm::writeConfig(int selector)
{
    if (!acq_)
        return;
    writeWindowSettings(readSettings(), acq_->Table);
    acq_->WriteTable(selector);
}

bool AcquisitionForm::offerSave(const QString&) { return askSave && askSave(); }

void AcquisitionForm::startStop()
{
    runCommand([this] {
        if (running())
            stop();
        else
            start();
    });
}

void AcquisitionForm::start()
{
    if (!acq_)
        throw OrvalaError("No instrument is connected");
    fmaxnum = maxnumon_->isChecked() ? ParseLimit(toEightBit(maxnum_->text())) : 0;
    fmaxtime = maxtimeon_->isChecked() ? ParseLimit(toEightBit(maxtime_->text())) * 1000 : 0;
    if (maxtimeon_->isChecked()) {
        try {
            const double s = ParseNumber(toEightBit(maxtime_->text()));
            fmaxtime = s > 0 && std::isfinite(s) ? int64_t(std::nearbyint(s * 1000)) : 0;
        } catch (const OrvalaError&) {
            fmaxtime = 0;
        }
    }
    const bool log = logMode();
    if (log && acq_->DataNotSaved && offerSave(QStringLiteral("Data are not saved. Save it?")))
        save();
    // Conversion errors of the settings stop here, before anything is written.
    writeWindowSettings(readSettings(), acq_->Table);
    acq_->Start(adcMode(), log, fmaxnum);
    fEventCount = 0;
    lastSecond_ = 0;
    counter_->setText(QStringLiteral("0"));
    eventRate_->setText(QStringLiteral("0"));
    elapsedField_->setText(QStringLiteral("0"));
    DispRange.reset();
    DispRange1.reset();
    transferStarted();
    start_->setText(QStringLiteral("Stop"));
    device_->setEnabled(false);
    elapsed_.start();
    timer_.start();
}

void AcquisitionForm::stop()
{
    timer_.stop();
    start_->setText(QStringLiteral("Start"));
    device_->setEnabled(true);
    if (!acq_)
        return;
    struct Shown {
        AcquisitionForm* f;
        ~Shown()
        {
            f->counter_->setText(QString::number(f->acq_->ShownCounter()));
            f->transferStopped();
        }
    } shown{this};
    acq_->Stop();  // an error of the recording is raised after the window is reset
}

void AcquisitionForm::restart()
{
    runCommand([this] {
        stop();
        start();
    });
}

void AcquisitionForm::finishTransfer(int error)
{
    stop();
    if (error)
        throw OrvalaError(acq_->ErrorText(error));
}

void AcquisitionForm::tick()
{
    if (!running())
        return;
    int error = 0;
    if (acq_->TransferEnded(error)) {
        finishTransfer(error);
        return;
    }
    std::vector<double> values;
    if (acq_->LatestEvent(values))
        showLatest(values);
    const qint64 ms = elapsed_.elapsed();
    const int64_t count = acq_->Counter();
    if (ms / 1000 > lastSecond_) {
        lastSecond_ = ms / 1000;
        const int64_t inSecond = count - fEventCount;
        fEventCount = count;
        secondTick(inSecond >= 0 ? inSecond : 0);
        counter_->setText(QString::number(count));
        elapsedField_->setText(QString::number(lastSecond_));
    }
    if (logMode() && ((fmaxtime > 0 && ms >= fmaxtime) || (fmaxnum > 0 && count >= fmaxnum)))
        stop();
}

void AcquisitionForm::save(const QString& fileName)
{
    runCommand([&] {
        if (!acq_)
            throw OrvalaError("Nothing to save");
        acq_->CheckCanSave(toEightBit(stopBeforeSavingText()));
        const QString name = fileName.isEmpty() ? askFileName() : fileName;
        // Leaving the dialog without a file keeps the recording marked unsaved.
        if (name.isEmpty())
            return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        saveRecording(QDir::toNativeSeparators(name).toStdString());
        acq_->DataNotSaved = false;
        status_->setText(QStringLiteral("Saved %1").arg(name));
    });
}

void AcquisitionForm::closeEvent(QCloseEvent* e)
{
    runCommand([this] {
        if (running())
            stop();
    });
    if (acq_) {
        runCommand([this] {
            // The high voltage is switched off when the window goes.
            if (acq_->IsOpen()) {
                acq_->Table[7] = 0;
                acq_->WriteTable(0);
            }
        });
        if (acq_->DataNotSaved && offerSave(QStringLiteral("Data are not saved. Save it?")))
            save();
    }
    e->accept();
}

}  // namespace orvala
