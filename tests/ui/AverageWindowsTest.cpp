// The Average, Distribution and Data Calculator windows, offscreen: both
// thumbs moved with Shift, "Cut" of the chosen events, "Save as Spectrum"
// found in the library, the text file, the menu commands and their refusals,
// and the average of a real spectral specimen.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

#include "UiTestHelpers.h"
#include "analysis/Averages.h"
#include "analysis/TDBSpec.h"
#include "core/TData.h"
#include "ui/analysis/AverageCommands.h"
#include "ui/analysis/AverageWindow.h"
#include "ui/analysis/DataCalculatorDialog.h"
#include "ui/analysis/DistributionWindow.h"
#include "ui/analysis/RangeSlider.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/spectra/SpectrumNameDialog.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, int x, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods)
{
    const QPointF local(x, w->height() / 2);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, local, w->mapToGlobal(local), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

// A left-button drag along the slider from one value's thumb to another
// value's position, in a few steps, with the given keys held.
void drag(RangeSlider* s, int fromValue, int toValue, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const int x0 = s->pixelOf(fromValue), x1 = s->pixelOf(toValue);
    sendMouse(s, QEvent::MouseButtonPress, x0, Qt::LeftButton, mods);
    for (int k = 1; k <= 4; ++k) sendMouse(s, QEvent::MouseMove, x0 + (x1 - x0) * k / 4, Qt::LeftButton, mods);
    sendMouse(s, QEvent::MouseButtonRelease, x1, Qt::NoButton, mods);
}

// The Average windows in the main window's child area.
QList<AverageWindow*> averageWindows(MainWindow& w)
{
    QList<AverageWindow*> out;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        if (auto* a = qobject_cast<AverageWindow*>(sub->widget())) out << a;
    return out;
}

}  // namespace

class AverageWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void init() { QFile::remove(settingsFile()); }

    // Dragging moves one thumb up to the other; with Shift both move with
    // their distance kept and stop at the ends; the edits and the curve follow.
    void shiftMovesBothThumbs()
    {
        DataRef d(numberedData("d", 4, 101));  // value [e][p] = 100 e + p
        AverageWindow win(nullptr, nullptr);
        win.Add(d.get());
        win.resize(600, 474);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        RangeSlider* s = win.ranger;
        QCOMPARE(s->maximum(), 100);
        QCOMPARE(win.start->text(), QStringLiteral("0"));
        QCOMPARE(win.stop->text(), QStringLiteral("100"));
        QCOMPARE(s->toolTip(), QStringLiteral("Press and hold shift to move both sliders"));

        drag(s, 0, 20);
        QCOMPARE(s->low(), s->valueAt(s->pixelOf(20)));
        QCOMPARE(s->high(), 100);
        s->setValues(20, 60);
        drag(s, 60, 10);  // the high thumb stops at the low one
        QCOMPARE(s->low(), 20);
        QCOMPARE(s->high(), 20);
        s->setValues(20, 60);

        drag(s, 60, 50, Qt::ShiftModifier);
        const int moved = 60 - s->high();
        QVERIFY2(moved > 0, "shift-drag did not move the high thumb");
        QCOMPARE(s->low(), 20 - moved);
        QCOMPARE(win.start->text(), QString::number(20 - moved));
        QCOMPARE(win.stop->text(), QString::number(60 - moved));
        QCOMPARE(win.rangeStart(), 20 - moved);
        QCOMPARE(win.rangeStop(), 60 - moved);
        // The curve is the mean of the chosen events: 100 * (middle event) + p.
        Chart* c = win.chart();
        const Chart::SeriesId line = c->seriesAt(0);
        QCOMPARE(c->pointCount(line), 4);
        QCOMPARE(c->point(line, 2).y(), 100.0 * (40 - moved) + 2);
        // Deviation of 41 evenly spaced events 100 apart.
        const Chart::SeriesId errors = c->seriesAt(1);
        QVERIFY(std::fabs(c->pointError(errors, 2) - 100.0 * std::sqrt(41.0 * 42.0 / 12.0)) < 1e-9);

        // Shift-dragging past the right end keeps the width: both stop.
        drag(s, s->low(), 100, Qt::ShiftModifier);
        QCOMPARE(s->high(), 100);
        QCOMPARE(s->low(), 60);

        // Shift with the arrow keys moves both as well.
        s->setFocus();
        QTest::keyClick(s, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(s->low(), 59);
        QCOMPARE(s->high(), 99);

        // A one-event range has no error bars.
        win.setRange(7, 7);
        QCOMPARE(c->point(line, 1).y(), 701.0);
        for (int j = 0; j < 4; ++j) QCOMPARE(c->pointError(errors, j), 0.0);
    }

    void cutMakesTheChosenEventsANewDataSet()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* d = numberedData("cells", 3, 50);
        w.dataList()->Add(d);
        w.action(QStringLiteral("Average"))->trigger();
        const QList<AverageWindow*> windows = averageWindows(w);
        QCOMPARE(windows.size(), 1);
        AverageWindow* win = windows[0];
        QCOMPARE(win->windowTitle(), QStringLiteral("Average"));
        QCOMPARE(win->chart()->title(), QStringLiteral("cells Events : 50"));

        win->setRange(10, 24);
        win->cutButton->trigger();
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('\n')));
        QCOMPARE(w.dataList()->Count(), 2);
        TData* part = w.dataList()->GetItem(1);
        QCOMPARE(part->Parent(), d);
        QCOMPARE(part->events(), 15);
        for (int e = 0; e < 15; ++e) {
            QCOMPARE(part->Absoluteindex(e), 10 + e);
            QCOMPARE(part->data[e][2], d->data[10 + e][2]);
        }

        // Typed text that is no integer, and a range outside the data set,
        // are refused with a message and make nothing.
        struct Case {
            const char* first;
            const char* last;
            const char* says;
        };
        const Case refused[] = {{"10", "2x", "'2x' is not a valid integer value"}, {"40", "50", "50"}, {"-1", "3", "-1"}};
        for (const Case& c : refused) {
            messages.messages.clear();
            win->start->setText(QString::fromLatin1(c.first));
            win->stop->setText(QString::fromLatin1(c.last));
            win->cutButton->trigger();
            QCOMPARE(messages.messages.size(), 1);
            QVERIFY2(messages.messages[0].contains(QString::fromLatin1(c.says)), qPrintable(messages.messages[0]));
            QCOMPARE(w.dataList()->Count(), 2);
        }

        // Removing the data set closes its window.
        QPointer<AverageWindow> watched(win);
        w.dataList()->Remove(d);
        QTRY_VERIFY(watched.isNull());
    }

    void saveAsSpectrumStoresTheCurveInTheLibrary()
    {
        DataRef d(numberedData("beads", 5, 4));  // means 150 + p
        AverageWindow win(nullptr, nullptr);
        win.libraryPath = dir_.filePath(QStringLiteral("spdb/specs.dat"));
        win.defaultLibraryPath.clear();
        QFile::remove(win.libraryPath);
        win.Add(d.get());

        answerNextDialog<SpectrumNameDialog>([](SpectrumNameDialog* dlg) {
            dlg->sname->setText(QStringLiteral("  BV421 beads "));
            dlg->norm->setChecked(true);
            dlg->accept();
        });
        win.spectrumButton->trigger();
        // A blank name, not normalised.
        answerNextDialog<SpectrumNameDialog>([](SpectrumNameDialog* dlg) { dlg->accept(); });
        win.spectrumButton->trigger();

        TDBSpec lib(win.libraryPath.toStdString());
        QCOMPARE(lib.Count(), 2);
        QCOMPARE(lib.Name(0), std::string("BV421 beads"));
        QCOMPARE(lib.GetItem(0).size(), size_t(5));
        for (int p = 0; p < 5; ++p) QCOMPARE(lib.GetItem(0)[size_t(p)], (150.0 + p) / 154.0);
        QCOMPARE(lib.Name(1), std::string("Default"));
        QCOMPARE(lib.GetItem(1)[3], 153.0);
    }

    void saveWritesEverySeriesInTheFixedFormat()
    {
        DataRef d(numberedData("s", 2, 3));  // means 100, 101
        AverageWindow win(nullptr, nullptr);
        win.Add(d.get());
        const QString file = dir_.filePath(QStringLiteral("mean.txt"));
        win.SaveText(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray expected =
            "s\r\n"
            " 0.00000000000000E+0000 1.00000000000000E+0002\r\n"
            " 1.00000000000000E+0000 1.01000000000000E+0002\r\n"
            "s\r\n"
            " 0.00000000000000E+0000 1.00000000000000E+0002\r\n"
            " 1.00000000000000E+0000 1.01000000000000E+0002\r\n";
        QCOMPARE(f.readAll(), expected);

        MessageRecorder messages;
        QVERIFY(!runCommand([&] { win.SaveText(dir_.filePath(QStringLiteral("no/such/dir/mean.txt"))); }));
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].contains(QStringLiteral("no/such/dir/mean.txt")));
    }

    // "Average" clears Compensate, "Normalized Average" sets it; an empty
    // data set is refused without a window; the 32-channel box changes the
    // curve only for data sets with at least 32 parameters.
    void menuCommandsSetTheCorrectionAndRefuseEmptyData()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* wide = numberedData("wide", 40, 10);
        w.dataList()->Add(wide);
        w.action(QStringLiteral("Normalized Average"))->trigger();
        QVERIFY(wide->Compensate);
        w.action(QStringLiteral("Average"))->trigger();
        QVERIFY(!wide->Compensate);
        QList<AverageWindow*> windows = averageWindows(w);
        QCOMPARE(windows.size(), 2);
        // Each window drew with the flag it was opened with.
        const Chart::SeriesId normLine = windows[0]->chart()->seriesAt(0);
        const Chart::SeriesId plainLine = windows[1]->chart()->seriesAt(0);
        QCOMPARE(windows[1]->chart()->point(plainLine, 31).y(), 481.0);
        QVERIFY(std::fabs(windows[0]->chart()->point(normLine, 31).y() - 481.0 * 3.027427) < 1e-9);
        QCOMPARE(windows[0]->chart()->point(normLine, 9).y(), 459.0);

        AverageWindow* plain = windows[1];
        QCOMPARE(plain->chart()->pointCount(plainLine), 40);
        plain->PhQ->setChecked(true);
        QCOMPARE(plain->chart()->pointCount(plainLine), 32);
        QCOMPARE(plain->chart()->point(plainLine, 0).x(), 408.0);
        QCOMPARE(plain->chart()->point(plainLine, 31).x(), 830.0);

        TData* empty = TData::Create("empty", 3, 0);
        w.dataList()->Add(empty);
        w.dataList()->MakeCurrent(empty);
        w.action(QStringLiteral("Average"))->trigger();
        QCOMPARE(averageWindows(w).size(), 2);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].contains(QStringLiteral("empty has no events")), qPrintable(messages.messages[0]));
    }

    void distributionShowsEveryValue()
    {
        DataRef d(numberedData("d", 4, 256));  // 0..25503: integer quantum 1
        d->data[3][1] = std::nan("");
        DistributionWindow win;
        QCOMPARE(win.windowTitle(), QStringLiteral("distr"));
        win.Add(*d);
        Chart* c = win.chart();
        QCOMPARE(c->seriesCount(), 1);
        const Chart::SeriesId bars = c->seriesAt(0);
        QCOMPARE(c->seriesKind(bars), SeriesKind::Bar);
        QVERIFY(c->pointCount(bars) <= 1024);
        double total = 0;
        for (double y : c->yValues(bars)) total += y;
        QCOMPARE(total, 4.0 * 256 - 1);
        QCOMPARE(c->point(bars, 0).x(), 0.0);
    }

    // Data sets are told apart by position, not by their (repeated) names;
    // the result name follows the choice until the user types one.
    void calculatorPicksDataSetsByPosition()
    {
        DataRef a(numberedData("same", 2, 3));                      // means 100, 101
        DataRef b(TData::Create("same", 2, 2));                      // means 1, 2
        b->data[0][0] = 0, b->data[0][1] = 1, b->data[1][0] = 2, b->data[1][1] = 3;
        DataCalculatorDialog dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Data Calculator"));
        dlg.setDatas({a.get(), b.get()});
        QCOMPARE(dlg.OPer->currentText(), QStringLiteral("-"));
        QCOMPARE(dlg.DataResult->text(), QStringLiteral("same-same"));
        dlg.Data2->setCurrentIndex(1);
        DataRef r(dlg.result());
        QVERIFY(r);
        QCOMPARE(r->data[0][0], -1.0);  // 0 - mean of b
        QCOMPARE(r->data[2][1], 199.0);

        dlg.OPer->setCurrentIndex(1);
        QCOMPARE(dlg.DataResult->text(), QStringLiteral("same+same"));
        QTest::keyClicks(dlg.DataResult, QStringLiteral("x"));
        dlg.Data1->setCurrentIndex(1);
        QCOMPARE(dlg.DataResult->text(), QStringLiteral("same+samex"));
        DataRef r2(dlg.result());
        QCOMPARE(r2->ShortName(), std::string("same+samex"));
        QCOMPARE(r2->data[1][1], 3.0 + 2.0);
    }

    void calculatorMenuAddsTheResult()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* d = numberedData("d", 2, 5);
        w.dataList()->Add(d);
        answerNextDialog<DataCalculatorDialog>([](DataCalculatorDialog* dlg) { dlg->accept(); });
        w.action(QStringLiteral("Calculator"))->trigger();
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('\n')));
        QCOMPARE(w.dataList()->Count(), 2);
        TData* r = w.dataList()->GetItem(1);
        QCOMPARE(r->ShortName(), std::string("d-d"));
        QCOMPARE(r->Parent(), nullptr);
        for (double m : Average(*r, 0, 0)) QCOMPARE(m, 0.0);

        // Cancelled: nothing is added.
        answerNextDialog<DataCalculatorDialog>([](DataCalculatorDialog* dlg) { dlg->reject(); });
        w.action(QStringLiteral("Calculator"))->trigger();
        QCOMPARE(w.dataList()->Count(), 2);
    }

    // A raw specimen of a real spectral cytometer: 74 parameters, 10,000 events.
    void realSpecimenAverages()
    {
        const QString file = QStringLiteral(ORVALA_SHARED_DIR "/spectral-samples/raw/INF071_Ctrl_Tetramer.fcs");
        if (!QFile::exists(file)) QSKIP("no spectral samples");
        MessageRecorder messages;
        MainWindow w(settingsFile());
        w.openFiles({file});
        QCOMPARE(w.dataList()->Count(), 1);
        TData* raw = w.dataList()->GetItem(0);
        w.dataList()->MakeCurrent(raw);
        const std::vector<AverageWindow*> opened = AverageCommands::Average(w, false);
        QCOMPARE(opened.size(), size_t(1));
        AverageWindow* win = opened[0];
        QCOMPARE(win->ranger->maximum(), raw->events() - 1);
        win->setRange(1000, 2999);
        const Chart::SeriesId line = win->chart()->seriesAt(0);
        QCOMPARE(win->chart()->pointCount(line), raw->CaseSize());
        TVector dev;
        const TVector mean = Average(*raw, dev, 1000, 2999);
        for (int j = 0; j < raw->CaseSize(); ++j) {
            QCOMPARE(win->chart()->point(line, j).y(), mean[size_t(j)]);
            QCOMPARE(win->chart()->pointError(win->chart()->seriesAt(1), j), dev[size_t(j)]);
        }
        QVERIFY(messages.messages.isEmpty());
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaAverageTests"));
    // The user's data folder of this run is a temporary one.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    AverageWindowsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "AverageWindowsTest.moc"
