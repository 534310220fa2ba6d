// The decomposition dialog and the spectra browser, offscreen: a raw specimen
// of a real spectral cytometer unmixed with its bead-control spectra and the
// result opened in a 2-D plot; the dialog's refusals; the library's deletions;
// the browser's index, search and curves.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>

#include "UiTestHelpers.h"
#include "analysis/DecompositionRun.h"
#include "analysis/SpectraFiles.h"
#include "analysis/TDBSpec.h"
#include "core/TData.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/spectra/DecompositionDialog.h"
#include "ui/spectra/SpectraWindow.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

class UnmixWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }
    QString library() const { return dir_.filePath(QStringLiteral("spdb/specs.dat")); }

private slots:
    void init()
    {
        QFile::remove(settingsFile());
        QFile::remove(library());
    }

    void menuCommandsAreBuilt()
    {
        MainWindow w(settingsFile());
        QVERIFY(w.action(QStringLiteral("Decomposition"))->isEnabled());
        QVERIFY(w.action(QStringLiteral("Spectra"))->isEnabled());
    }

    // The raw specimen as the reader gives it, the bead-control spectra
    // imported over its detectors, "OK", and the result in a 2-D plot.
    void rawSpecimenUnmixesWithBeadSpectraAndOpensInAPlot()
    {
        const QString shared = QStringLiteral(ORVALA_SHARED_DIR "/spectral-samples");
        if (!QDir(shared).exists()) QSKIP("no spectral samples");
        MessageRecorder messages;
        MainWindow w(settingsFile());
        w.openFiles({shared + QStringLiteral("/raw/INF071_Ctrl_Tetramer.fcs")});
        QCOMPARE(w.dataList()->Count(), 1);
        TData* raw = w.dataList()->GetItem(0);

        DecompositionDialog dlg(&w, library(), QString(), &w);
        dlg.Take(raw);
        QVERIFY(dlg.openLibrary());
        QCOMPARE(dlg.parlist->count(), raw->CaseSize());
        const QString beads = shared + QStringLiteral("/oracle/reference_spectra_from_bead_controls.csv");
        dlg.importCsv(beads);
        QCOMPARE(dlg.List->count(), 30);
        int ticked = 0;
        for (int i = 0; i < dlg.parlist->count(); ++i) ticked += dlg.parlist->item(i)->checkState() == Qt::Checked;
        QCOMPARE(ticked, 64);  // the detectors; scatter and time stay out

        TData* result = dlg.runOk();
        QVERIFY2(result, qPrintable(messages.messages.join('\n')));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(w.dataList()->Count(), 2);
        QCOMPARE(result->Parent(), raw);
        QCOMPARE(result->events(), raw->events());
        QCOMPARE(result->CaseSize(), 30);
        QCOMPARE(result->Desc()[0].name, std::string("BUV395"));

        // The same fit straight from the table: the dialog's import put every
        // spectrum value on the right channel.
        const SpectraTable table = ReadSpectraCsv(beads.toStdString());
        DataRef direct(UnmixWithTable(*raw, table.detectors, table.names, table.spectra, false, w.pool(), "direct"));
        const int first = direct->CaseSize() - 30;
        for (int e = 0; e < raw->events(); e += 97)
            for (int j = 0; j < 30; ++j) {
                const double a = result->data[e][j], b = direct->data[e][first + j];
                QVERIFY2(std::fabs(a - b) <= 1e-9 * (1 + std::fabs(b)), qPrintable(QString::number(e)));
            }

        QWidget* plot = w.openPlot(result);
        QVERIFY(plot);
        QVERIFY(w.mdiArea()->subWindowList().size() >= 1);
        // Hiding the dialog saved the imported spectra.
        QCOMPARE(TDBSpec(library().toStdString()).Count(), 30);
    }

    void okRefusesWhatCannotRunAndStaysOpen()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* d = numberedData("d", 4, 5);
        w.dataList()->Add(d);
        {
            TDBSpec lib(library().toStdString());
            lib.Add("A", {1, 0, 0, 0});
            lib.Add("B", {0, 1, 1, 0});
            lib.Add("A2", {2, 0, 0, 0});
        }
        DecompositionDialog dlg(&w, library(), QString(), &w);
        dlg.Take(d);
        QVERIFY(dlg.openLibrary());
        QCOMPARE(dlg.List->count(), 3);
        dlg.show();

        auto clickOk = [&] {
            messages.messages.clear();
            dlg.okButton->click();
            return messages.messages.value(0);
        };
        for (int i = 0; i < 4; ++i) dlg.parlist->item(i)->setCheckState(Qt::Unchecked);
        dlg.List->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(clickOk(), QStringLiteral("Select 2 or more parameters, pls"));
        dlg.parlist->item(0)->setCheckState(Qt::Checked);
        dlg.parlist->item(1)->setCheckState(Qt::Checked);
        dlg.List->item(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(clickOk(), QStringLiteral("Select 2 or more spectrums, pls"));
        // A and A2 are the same spectrum twice: nothing can tell them apart.
        dlg.List->item(0)->setCheckState(Qt::Checked);
        dlg.List->item(2)->setCheckState(Qt::Checked);
        QCOMPARE(clickOk(), QStringLiteral("Mat not OK"));
        QVERIFY(dlg.isVisible());
        QCOMPARE(w.dataList()->Count(), 1);  // nothing added

        dlg.List->item(2)->setCheckState(Qt::Unchecked);
        dlg.List->item(1)->setCheckState(Qt::Checked);
        QCOMPARE(clickOk(), QString());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(w.dataList()->Count(), 2);
        QCOMPARE(dlg.lastResult->Desc()[1].name, std::string("B"));
        QCOMPARE(dlg.lastResult->ShortName(), w.dataList()->GetItem(1)->ShortName());
    }

    void deletedEntriesAreGoneWhenTheDialogOpensAgain()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* d = numberedData("d", 3, 2);
        w.dataList()->Add(d);
        {
            TDBSpec lib(library().toStdString());
            for (const char* n : {"one", "two", "three", "four"}) lib.Add(n, {1, 2, 3});
        }
        {
            DecompositionDialog dlg(&w, library(), QString(), &w);
            dlg.Take(d);
            QVERIFY(dlg.openLibrary());
            dlg.List->item(1)->setCheckState(Qt::Checked);
            dlg.List->item(3)->setCheckState(Qt::Checked);
            dlg.deleteButton->click();
            QCOMPARE(dlg.List->count(), 2);
        }
        DecompositionDialog again(&w, library(), QString(), &w);
        again.Take(d);
        QVERIFY(again.openLibrary());
        QCOMPARE(again.List->count(), 2);
        QCOMPARE(again.List->item(0)->text(), QStringLiteral("one"));
        QCOMPARE(again.List->item(1)->text(), QStringLiteral("three"));
    }

    void damagedLibraryAbandonsTheCommand()
    {
        MessageRecorder messages;
        writeText(library(), QByteArray("\x05\x00\x00\x00" "ab", 6));
        DecompositionDialog dlg(nullptr, library(), QString());
        QVERIFY(!dlg.openLibrary());
        QCOMPARE(messages.messages.value(0), QStringLiteral("Stream Read Error"));
        QCOMPARE(dlg.List->count(), 0);
    }

    void browserDrawsTheFileOfTheClickedEntry()
    {
        MessageRecorder messages;
        const QString folder = dir_.filePath(QStringLiteral("spectra"));
        writeText(folder + QStringLiteral("/names"),
                  "Alexa 488\r\nalexa\\a488.csv\r\nPE\r\npe.csv\r\nPE-Cy5\r\npecy5.csv\r\nNo file\r\nmissing.csv\r\nOdd\r\n");
        writeText(folder + QStringLiteral("/alexa/a488.csv"), "nm,ex,nm,em\n400,0.1,500,0.2\n410,0.3,510,0.9\n");
        writeText(folder + QStringLiteral("/pe.csv"), "nm,ex\n480,1\n490,0.5\n");
        writeText(folder + QStringLiteral("/pecy5.csv"), "nm,ex\n600,0.7\n610,0.2\n620,0.1\n");
        SpectraWindow browser(folder);
        QCOMPARE(browser.windowTitle(), QStringLiteral("spectra"));
        QCOMPARE(browser.all->count(), 4);  // the unmatched last name is dropped
        QCOMPARE(browser.used->count(), 4);

        browser.search->setText(QStringLiteral(" Cy5 "));
        QCOMPARE(browser.used->count(), 1);
        browser.DrawEntry(0, true);  // the narrowed list's first entry is PE-Cy5
        Chart* chart = browser.chart();
        QCOMPARE(chart->seriesCount(), 2);
        QCOMPARE(chart->xValues(chart->seriesAt(0)), (std::vector<double>{600, 610, 620}));
        QCOMPARE(chart->pointCount(chart->seriesAt(1)), 0);

        browser.DrawEntry(0, false);  // Alexa 488, from a sub-folder named with "\"
        QCOMPARE(chart->seriesCount(), 2);
        QCOMPARE(chart->yValues(chart->seriesAt(1)), (std::vector<double>{0.2, 0.9}));
        browser.Multi->setChecked(true);
        browser.DrawEntry(1, false);
        QCOMPARE(chart->seriesCount(), 4);

        QVERIFY(!runCommand([&] { browser.DrawEntry(3, false); }));
        QVERIFY(messages.messages.value(0).contains(QStringLiteral("missing.csv")));
        QCOMPARE(chart->seriesCount(), 4);
        browser.ClearChart();
        QCOMPARE(chart->seriesCount(), 0);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaUnmixTests"));
    // The user's data folder of this run is a temporary one.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    UnmixWindowsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "UnmixWindowsTest.moc"
