// The acquisition windows offscreen, against the simulated instrument: start,
// watch the bars move, stop, save, and open the saved file in the workspace;
// the save prompts and refusals; the HyperCyt window's compatible file.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestHelpers.h"
#include "core/TData.h"
#include "formats/TDataSet.h"
#include "formats/TFCStream.h"
#include "ui/acquisition/AcquisitionWindow.h"
#include "ui/acquisition/HypercytWindow.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

template <class W>
W* child(QWidget* w, const QString& name)
{
    W* c = w->findChild<W*>(name);
    if (!c)
        qWarning("no child %s", qPrintable(name));
    return c;
}

QRadioButton* radio(QWidget* w, const QString& text)
{
    for (QRadioButton* b : w->findChildren<QRadioButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// Internal trigger at a quick rate, logging; then the counter runs to at least n.
void recordAtLeast(AcquisitionForm& win, int64_t n)
{
    radio(&win, QStringLiteral("Internal"))->setChecked(true);
    child<QLineEdit>(&win, QStringLiteral("Rate"))->setText(QStringLiteral("20000"));
    child<QRadioButton>(&win, QStringLiteral("Display&Log"))->setChecked(true);
    QTest::mouseClick(child<QPushButton>(&win, QStringLiteral("Start")), Qt::LeftButton);
    QVERIFY(win.running());
    QCOMPARE(child<QPushButton>(&win, QStringLiteral("Start"))->text(), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(win.acquisition()->Counter() >= n, 20000);
}

}  // namespace

class AcquisitionWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void menuOpensOneWindowOfEachKind()
    {
        MainWindow w(settingsFile());
        for (const QString& caption : {QStringLiteral("Acquisition"), QStringLiteral("Hypercyt")}) {
            QAction* a = w.action(caption);
            QVERIFY(a);
            QVERIFY(a->isEnabled());
            QVERIFY(a->isVisible());
        }
        w.action(QStringLiteral("Acquisition"))->trigger();
        w.action(QStringLiteral("Acquisition"))->trigger();
        QCOMPARE(w.findChildren<AcquisitionWindow*>().size(), 1);
        AcquisitionWindow* win = w.findChildren<AcquisitionWindow*>().first();
        QVERIFY(win->isVisible());
        QVERIFY(win->acquisition()->IsOpen());  // the simulated instrument is picked first
        // The two windows drive one instrument: opening one closes the other.
        w.action(QStringLiteral("Hypercyt"))->trigger();
        QTRY_COMPARE(w.findChildren<AcquisitionWindow*>().size(), 0);
        QCOMPARE(w.findChildren<HypercytWindow*>().size(), 1);
        w.findChildren<HypercytWindow*>().first()->close();
    }

    void simulatedRunSavedAndOpenedInTheWorkspace()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        AcquisitionWindow win({"FSC", "SSC"}, &w);
        QVERIFY(win.deviceNames().contains(QStringLiteral("Simulated instrument")));
        QVERIFY(win.acquisition()->IsOpen());
        recordAtLeast(win, 3000);
        // The bars follow the newest event.
        const std::vector<double> bars = win.bars()->yValues(win.bars()->seriesAt(0));
        QCOMPARE(int(bars.size()), 32);
        QTRY_VERIFY(win.bars()->axisMaximum(ChartAxis::Left) > 1);
        QTest::mouseClick(child<QPushButton>(&win, QStringLiteral("Start")), Qt::LeftButton);
        QVERIFY(!win.running());
        const int64_t n = win.acquisition()->Counter();
        QCOMPARE(child<QLineEdit>(&win, QStringLiteral("Counter"))->text(), QString::number(n));
        double sum = 0;
        for (double v : win.bars()->yValues(win.bars()->seriesAt(0)))
            sum += v;
        QVERIFY(sum > 0);

        // The buffer file lives in the user's data folder.
        const QString buffer = AcquisitionForm::BufferFileName();
        QVERIFY(buffer.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        QVERIFY(QFileInfo(buffer).size() > 0);

        // Leaving the save dialog keeps the recording unsaved: the next start asks.
        int asked = 0;
        win.askFileName = [] { return QString(); };
        win.askSave = [&] {
            ++asked;
            return false;
        };
        win.save();
        QVERIFY(win.acquisition()->DataNotSaved);
        QVERIFY(messages.messages.isEmpty());

        const QString file = dir_.filePath(QStringLiteral("run.LMD"));
        win.askFileName = [&] { return file; };
        QTest::mouseClick(child<QPushButton>(&win, QStringLiteral("Save")), Qt::LeftButton);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join("\n")));
        QVERIFY(!win.acquisition()->DataNotSaved);
        win.save();
        QCOMPARE(messages.messages.value(0), QStringLiteral("Nothing to save"));

        w.openFiles({file});
        QCOMPARE(w.dataList()->Count(), 1);
        TData* d = w.dataList()->GetItem(0);
        QCOMPARE(int64_t(d->events()), n);
        QCOMPARE(d->CaseSize(), 38);  // internal trigger: no boxcar width
        QCOMPARE(QString::fromStdString(d->Desc()[32].name), QStringLiteral("FSC"));
        QCOMPARE(asked, 0);
        win.close();
    }

    void startAsksBeforeOverwritingAnUnsavedRecording()
    {
        MessageRecorder messages;
        AcquisitionWindow win({});
        recordAtLeast(win, 100);
        win.startStop();
        int asked = 0;
        win.askSave = [&] {
            ++asked;
            return false;
        };
        win.startStop();
        QCOMPARE(asked, 1);
        QVERIFY(win.running());
        // Saving while running is refused with the window's text.
        win.save();
        QCOMPARE(messages.messages.value(0), QStringLiteral("Stop Acquisition before saving"));
        win.startStop();
        // A rate that is not a positive number is refused before anything starts.
        child<QLineEdit>(&win, QStringLiteral("Rate"))->setText(QStringLiteral("0"));
        win.startStop();
        QVERIFY(!win.running());
        QCOMPARE(messages.messages.size(), 2);
        win.askSave = [] { return false; };
    }

    void hypercytSavesTheCompatibleLayout()
    {
        MessageRecorder messages;
        HypercytWindow win;
        recordAtLeast(win, 2000);
        QTRY_VERIFY(!win.timeStamp()->text().isEmpty());
        win.startStop();
        win.compatible()->setChecked(true);
        const QString file = dir_.filePath(QStringLiteral("hyper.LMD"));
        win.askFileName = [&] { return file; };
        win.save();
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join("\n")));
        TFCStream s(file.toStdString(), true);
        QVERIFY(!s.badfile);
        TDataSet* set = s.DataSet(0);
        QCOMPARE(QString::fromStdString(set->keywords()->GetValue("$PAR")), QStringLiteral("7"));
        QCOMPARE(QString::fromStdString(set->keywords()->GetValue("$P7N")), QStringLiteral("Time"));
        QCOMPARE(int64_t(set->values.rows()), win.acquisition()->Counter());
        QCOMPARE(set->values.at(0, 6), 0.0);
        for (int e = 0; e < set->values.rows(); ++e)
            for (int p = 0; p < 6; ++p)
                QVERIFY(set->values.at(e, p) >= 0 && set->values.at(e, p) <= 1023);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaAcquisitionTests"));
    // The user's data folder of this run is a temporary one.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    AcquisitionWindowTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "AcquisitionWindowTest.moc"
