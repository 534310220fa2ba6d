// The time plot, the scatter-plot matrix and the 3-D view, offscreen: the
// menu commands, pages and series titles, smoothing and its refusal, pictures
// made only for the cells on screen, the pair plot of a double click, data
// changes and deletions, and the 3-D points where OpenGL exists.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "UiTestHelpers.h"
#include "analysis/TimeBins.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "plot/Tabloid.h"
#include "ui/analysis/ScatterMatrixWindow.h"
#include "ui/analysis/TimePlotWindow.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/DataSetDrag.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/ScatterPlotWindow.h"
#include "ui/workspace/MainWindow.h"
#ifdef ORVALA_HAVE_3D
#include "ui/chart/Chart3D.h"
#include "ui/plot/Scatter3DWindow.h"
#endif

using namespace orvala;
using namespace orvala::testing;

namespace {

// Parameters "Time", "FL1", "FL2"; event e at time times[e], FL1 = 10 e, FL2 = 1.
TData* timedData(const std::string& name, const std::vector<double>& times)
{
    TData* d = TData::Create(name, 3, int(times.size()));
    d->Desc()[0].name = "Time";
    d->Desc()[1].name = "FL1";
    d->Desc()[2].name = "FL2";
    for (int e = 0; e < int(times.size()); ++e) {
        d->data[e][0] = times[size_t(e)];
        d->data[e][1] = 10.0 * e;
        d->data[e][2] = 1;
    }
    return d;
}

std::vector<double> ramp(int n)
{
    std::vector<double> t(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) t[size_t(k)] = k;
    return t;
}

void tick(TimePlotPage* page, int row) { page->ylist->item(row)->setCheckState(Qt::Checked); }

template <class W>
QList<W*> windowsOf(MainWindow& w)
{
    QList<W*> out;
    for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
        if (auto* x = qobject_cast<W*>(sub->widget())) out << x;
    return out;
}

}  // namespace

class TimePlotWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void menuCommandsAreEnabled()
    {
        MainWindow w(settingsFile());
        for (const char* caption : {"Time Plot", "Tabloid"}) {
            QAction* a = w.action(QString::fromLatin1(caption));
            QVERIFY2(a && a->isEnabled() && a->isVisible(), caption);
        }
    }

    // One window; each command adds the selection as pages; two pages that
    // plot the same parameter get titles prefixed with the data set names.
    void timePlotCollectsPagesInOneWindow()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* a = timedData("a", ramp(12));
        TData* b = timedData("b", {0.4, 0.6, 0.5, 1.5});
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});
        w.action(QStringLiteral("Time Plot"))->trigger();
        QCOMPARE(windowsOf<TimePlotWindow>(w).size(), 1);
        TimePlotWindow* t = TimePlotWindow::instance();
        QVERIFY(t);
        QCOMPARE(t->windowTitle(), QStringLiteral("Times"));
        QCOMPARE(int(t->plist.size()), 2);
        QCOMPARE(t->xpanel->tabText(0), QStringLiteral("a"));
        QCOMPARE(t->xpanel->tabText(1), QStringLiteral("b"));
        QVERIFY(t->plist[0]->objectName().startsWith(QStringLiteral("DataPage")));
        QVERIFY(t->plist[0]->objectName() != t->plist[1]->objectName());
        QCOMPARE(t->plist[0]->xlist->currentText(), QStringLiteral("Time"));  // chosen for its name
        QCOMPARE(t->chart()->seriesCount(), 0);  // nothing ticked yet

        tick(t->plist[0], 1);
        tick(t->plist[1], 1);
        Chart* c = t->chart();
        QCOMPARE(c->seriesCount(), 2);
        QCOMPARE(c->seriesTitle(c->seriesAt(0)), QStringLiteral("a:FL1"));
        QCOMPARE(c->seriesTitle(c->seriesAt(1)), QStringLiteral("b:FL1"));
        // b: 0.4 and 0.5 in bin 0, 0.6 in bin 1, 1.5 in bin 2.
        QCOMPARE(c->yValues(c->seriesAt(1)), (std::vector<double>{10, 10, 30}));
        QCOMPARE(c->xValues(c->seriesAt(1)), (std::vector<double>{0, 1, 2}));
        QCOMPARE(t->sigma->maximum(), 3);  // 12 points / 3 - 1

        w.dataList()->SelectData({b});
        w.action(QStringLiteral("Time Plot"))->trigger();
        QCOMPARE(windowsOf<TimePlotWindow>(w).size(), 1);
        QCOMPARE(int(t->plist.size()), 3);
        QVERIFY(messages.messages.isEmpty());
    }

    // Data sets dragged from the data list onto the page control become pages,
    // in the order they were selected; other drags are not taken.
    void dataSetsDroppedFromTheDataListBecomePages()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* a = timedData("a", ramp(12));
        TData* b = timedData("b", ramp(6));
        TData* c = timedData("c", ramp(9));
        for (TData* d : {a, b, c}) w.dataList()->Add(d);
        w.dataList()->SelectData({b});
        w.action(QStringLiteral("Time Plot"))->trigger();
        TimePlotWindow* t = TimePlotWindow::instance();
        QVERIFY(t);
        QCOMPARE(int(t->plist.size()), 1);

        w.dataList()->SelectData({c, a});
        std::unique_ptr<QMimeData> mime(w.dataList()->SelectionMimeData());
        QVERIFY(CarriesDataSets(mime.get()));
        QCOMPARE(DroppedDataSets(mime.get(), *TData::Workspace), (std::vector<TData*>{c, a}));

        auto deliver = [&](const QMimeData* m) {
            const QPoint at = t->xpanel->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, m, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(t->xpanel, &enter);
            if (!enter.isAccepted()) return false;
            QDropEvent drop(QPointF(at), Qt::CopyAction, m, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(t->xpanel, &drop);
            return drop.isAccepted();
        };
        QVERIFY(deliver(mime.get()));
        QCOMPARE(int(t->plist.size()), 3);
        QCOMPARE(t->xpanel->tabText(1), QStringLiteral("c"));
        QCOMPARE(t->xpanel->tabText(2), QStringLiteral("a"));
        QCOMPARE(t->plist[2]->data(), a);

        QMimeData text;
        text.setText(QStringLiteral("0"));
        QVERIFY(!deliver(&text));
        QMimeData damaged;  // not numbers, out of range, repeated: only b, once
        damaged.setData(QString::fromLatin1(DataSetsMimeType), "x,99,-1,1,1");
        QCOMPARE(DroppedDataSets(&damaged, *TData::Workspace), (std::vector<TData*>{b}));
        QVERIFY(deliver(&damaged));
        QCOMPARE(int(t->plist.size()), 4);
        QCOMPARE(t->xpanel->tabText(3), QStringLiteral("b"));
        QVERIFY(messages.messages.isEmpty());
    }

    void smoothingAndItsRefusal()
    {
        MessageRecorder messages;
        DataRef a(timedData("a", {0, 1, 3, 3, 4, 5, 6}));  // bin 2 empty: y = 0 there
        DataRef b(timedData("b", {0, 1, 2}));
        TimePlotWindow t;
        t.Adopt(a.get());
        tick(t.plist[0], 1);
        Chart* c = t.chart();
        const std::vector<double> raw = {0, 10, 0, 25, 40, 50, 60};
        QCOMPARE(c->seriesTitle(c->seriesAt(0)), QStringLiteral("FL1"));  // one page: the name alone
        QCOMPARE(c->yValues(c->seriesAt(0)), raw);
        QCOMPARE(t.sigma->maximum(), 1);  // 7 / 3 - 1 = 1

        t.sigma->setValue(1);
        t.Smooth();
        QCOMPARE(c->yValues(c->seriesAt(0)), gaussianSmooth(raw, 1));
        t.Plot();  // re-plotting drops the smoothing
        QCOMPARE(c->yValues(c->seriesAt(0)), raw);

        // A second page of 3 points: the first curve is smoothed, then the refusal.
        t.Adopt(b.get());
        tick(t.plist[1], 2);
        QCOMPARE(c->seriesCount(), 2);
        QVERIFY(!runCommand([&] { t.Smooth(); }));
        QCOMPARE(messages.messages, QStringList{QStringLiteral("The Sigma should be less then 1")});
        QCOMPARE(c->yValues(c->seriesAt(0)), gaussianSmooth(raw, 1));
        QCOMPARE(c->yValues(c->seriesAt(1)), (std::vector<double>{1, 1, 1}));
    }

    // A clock-tick X would need a bin per tick: refused with a message
    // naming the data set; other pages still plot.
    void timePlotRefusesTooManyBins()
    {
        MessageRecorder messages;
        DataRef wide(timedData("ticks", {0, 5e7}));
        DataRef fine(timedData("fine", ramp(5)));
        TimePlotWindow t;
        t.Adopt(fine.get());
        tick(t.plist[0], 1);
        t.Adopt(wide.get());
        QVERIFY(!runCommand([&] { tick(t.plist[1], 1); t.Plot(); }));
        QCOMPARE(t.chart()->seriesCount(), 1);
        QVERIFY(messages.messages.join(' ').contains(QStringLiteral("\"ticks\"")));
        QVERIFY(messages.messages.join(' ').contains(QStringLiteral("10,000,000")));
    }

    void deletedDataSetsLeaveTheTimePlot()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* a = timedData("a", ramp(8));
        TData* b = timedData("b", ramp(8));
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});
        w.action(QStringLiteral("Time Plot"))->trigger();
        QPointer<TimePlotWindow> t = TimePlotWindow::instance();
        tick(t->plist[0], 1);
        tick(t->plist[1], 1);
        w.dataList()->Remove(a);
        QTRY_COMPARE(int(t->plist.size()), 1);
        QCOMPARE(t->chart()->seriesCount(), 1);
        w.dataList()->Remove(b);
        QTRY_VERIFY(t.isNull());
        QVERIFY(!TimePlotWindow::instance());
        QTRY_COMPARE(windowsOf<TimePlotWindow>(w).size(), 0);
    }

    // Only the cells on screen are computed and kept; scrolling along the
    // diagonal drops the others; the picture shown is the library's.
    void tabloidDrawsTheCellsOnScreen()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        const int P = 12, N = 3000;
        TData* d = TData::Create("m", P, N);
        for (int e = 0; e < N; ++e)
            for (int p = 0; p < P; ++p) d->data[e][p] = double((e * (p + 3)) % 101) + p;
        w.dataList()->Add(d);
        w.dataList()->SelectData({d});
        w.action(QStringLiteral("Tabloid"))->trigger();
        QList<ScatterMatrixWindow*> tabs = windowsOf<ScatterMatrixWindow>(w);
        QCOMPARE(tabs.size(), 1);
        ScatterMatrixWindow* t = tabs[0];
        QCOMPARE(t->windowTitle(), QStringLiteral("Tabloid"));
        QCOMPARE(t->parameters(), P);
        t->grid()->grab();
        // A square of n x n cells on screen: n diagonals and n (n - 1) / 2
        // pairs counted, their mirrors reflected, nothing else kept.
        const int shown = int(t->visibleCells().size());
        int n = 0;
        while (n * n < shown) ++n;
        QCOMPARE(n * n, shown);
        QVERIFY(n >= 2 && n < P);
        QCOMPARE(t->pictures().held(), shown);
        QCOMPARE(t->pictures().counted(), n + n * (n - 1) / 2);
        QCOMPARE(t->pictures().mirrored(), n * (n - 1) / 2);
        QCOMPARE(t->Diagonal->maximum(), P - t->grid()->visibleCount());

        t->setFirst(t->Diagonal->maximum());
        const int f = t->first();
        QVERIFY(f > 0);
        t->grid()->grab();
        QVERIFY(t->pictures().held() <= shown);
        QVERIFY(!t->pictures().picture(0, 1));
        QVERIFY(t->pictures().picture(f, f + 1));
        TabloidIndex index;
        index.build(d->data.data(), N, P, tabloidRanges(d->data.data(), N, P));
        TabloidPicture direct;
        tabloidDensity(index, f, f + 1, direct);
        QVERIFY(*t->pictures().picture(f, f + 1) == direct);
        QCOMPARE(t->cellAt(QPoint(ScatterMatrixWindow::HeaderSize + ScatterMatrixWindow::CellSize + 5,
                                  ScatterMatrixWindow::HeaderSize + 5)),
                 std::make_pair(f + 1, f));
        QCOMPARE(t->cellAt(QPoint(3, 60)), std::make_pair(-1, -1));  // a name

        // An in-place change pushes values outside the ranges taken at
        // creation: they are skipped, nothing is read out of place.
        const TabloidRanges before = tabloidRanges(d->data.data(), N, P);
        for (int e = 0; e < N; e += 2) d->data[e][f] = e % 4 ? 1e6 : std::nan("");
        d->Announce();
        QCoreApplication::sendPostedEvents();
        t->grid()->grab();
        QVERIFY(t->pictures().picture(f, f + 1));
        // Counted against the ranges of the window's creation, half the events gone.
        TabloidIndex after;
        after.build(d->data.data(), N, P, before);
        TabloidPicture changed;
        tabloidDensity(after, f, f + 1, changed);
        QVERIFY(*t->pictures().picture(f, f + 1) == changed);
        QVERIFY(changed != direct);
        QVERIFY(messages.messages.isEmpty());

        // Double click: the pair's 2-D plot, shown with x = 5, y = 4.
        QWidget* plot = t->openPair(5, 4);
        QVERIFY(plot);
        QVERIFY(!plot->isHidden());
        QCOMPARE(plotWindowData(plot), d);
        auto* form = qobject_cast<ScatterPlotWindow*>(qobject_cast<QMdiSubWindow*>(plot)->widget());
        QVERIFY(form);
        QCOMPARE(form->view().x.direction[5], 1.0);
        QCOMPARE(form->view().y.direction[4], 1.0);
        QCOMPARE(t->openPair(1, 2), plot);  // the same window, new pair
        QCOMPARE(form->view().x.direction[1], 1.0);
        // Removing the data set closes the matrix and its plot.
        QPointer<QWidget> guard = plot;
        w.dataList()->Remove(d);
        QTRY_COMPARE(windowsOf<ScatterMatrixWindow>(w).size(), 0);
        QTRY_VERIFY(guard.isNull());
    }

    void threeDViewShowsThePlottedDirections()
    {
#ifndef ORVALA_HAVE_3D
        QSKIP("built without Qt Data Visualization");
#else
        if (!Chart3D::available()) QSKIP("no OpenGL on this platform; the 3-D view cannot be made");
        DataRef d(numberedData("cube", 4, 500));
        d->SetColor(0, 0x0000FF);
        Scatter3DWindow view(d.get(), {0, 0, 1, 0}, {0, 0, 0, 1});
        QCOMPARE(view.axis[0]->currentIndex(), 2);
        QCOMPARE(view.axis[1]->currentIndex(), 3);
        QCOMPARE(view.axis[2]->currentIndex(), 0);  // the first other parameter
        QCOMPARE(view.chart()->pointCount(), 500);
        QCOMPARE(view.chart()->seriesCount(), 2);  // the painted event and the rest
        QCOMPARE(view.chart()->axisTitle(0), QStringLiteral("Ch3"));
        view.axis[2]->setCurrentIndex(1);
        QCOMPARE(view.chart()->axisTitle(2), QStringLiteral("Ch2"));
#endif
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaTimePlotTests"));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    TimePlotWindowsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "TimePlotWindowsTest.moc"
