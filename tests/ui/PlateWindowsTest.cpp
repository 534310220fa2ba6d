// The plate windows, offscreen: "Open Plate" on folders of per-well FCS files
// (written by the test, and the shared yeast plate), the plate view's Ctrl
// and Shift selection, and the phenotyping window: tubes from a plate, marks
// dragged with the mouse, Lock and groups, the count pages, the side plot,
// the antibody table and projects.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "UiTestHelpers.h"
#include "core/TData.h"
#include "formats/TFCSWrite.h"
#include "plates/PhenoFiles.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/plates/PhenoTowers.h"
#include "ui/plates/PhenotypingWindow.h"
#include "ui/plates/PlateCommands.h"
#include "ui/plates/PlateWindow.h"
#include "ui/plates/WellPlateView.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// A well file of events x 3 parameters: column 0 = event index, column 1 =
// 100 for the first half of the events and 0 after, column 2 = tag.
void writeWell(const QString& dir, const QString& name, int events, int tag)
{
    DataRef d(TData::Create("w", 3, events));
    for (int e = 0; e < events; ++e) {
        d->data[e][0] = e;
        d->data[e][1] = e < events / 2 ? 100 : 0;
        d->data[e][2] = tag;
    }
    SaveAsFCS(*d, toEightBit(QDir(dir).filePath(name)));
}

QPoint centreOf(const WellPlateView& v, int row, int column)
{
    const PlateRect r = v.layout().wells[size_t(row)][size_t(column)];
    return QPoint(r.left + r.width / 2, r.top + r.height / 2);
}

}  // namespace

class PlateWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

    // A plate folder with wells A01, A02, B01 and C12 of 10, 20, 30, 40 events.
    QString makePlate()
    {
        // A folder of its own each time: a test may add misnamed files.
        static int made = 0;
        const QString plate = dir_.filePath(QStringLiteral("plate%1/plate").arg(made++));
        QDir().mkpath(plate);
        writeWell(plate, QStringLiteral("12345A01.fcs"), 10, 1);
        writeWell(plate, QStringLiteral("12345A02.fcs"), 20, 2);
        writeWell(plate, QStringLiteral("12345B01.fcs"), 30, 3);
        writeWell(plate, QStringLiteral("12345C12.fcs"), 40, 4);
        return plate;
    }

private slots:
    void menuEntriesAreShownAndWork()
    {
        MainWindow w(settingsFile());
        for (const char* caption : {"Open Plate", "Phenotyping"}) {
            QAction* a = w.action(QString::fromLatin1(caption));
            QVERIFY(a);
            QVERIFY(a->isVisible());
            QVERIFY(a->isEnabled());
        }
    }

    void openPlateAddsThePlateAndItsView()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        w.resize(1200, 800);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PlateWindow* view = PlateCommands::OpenPlateFolder(w, makePlate());
        QVERIFY2(view, qPrintable(messages.messages.join('\n')));
        QApplication::processEvents();
        QCOMPARE(w.dataList()->Count(), 1);
        TData* plate = w.dataList()->GetItem(0);
        QCOMPARE(plate->events(), 100);
        QCOMPARE(plate->NonEmptyWellCount, 4);
        QCOMPARE(QString::fromStdString(plate->ShortName()), QStringLiteral("plate"));
        WellPlateView* v = view->plateView();
        QCOMPARE(v->PlateType(), TPlateType::pt96);  // 3 x 12 fits a 96-well plate
        QCOMPARE(v->well(2, 11).TotalCount, 40);
        QVERIFY(v->well(2, 11).fColor != v->well(2, 10).fColor);  // filled wells stand out
        QCOMPARE(v->well(2, 10).TotalCount, 0);
        QVERIFY(!v->picture().isNull());
    }

    void plateViewSelectsWithCtrlAndShift()
    {
        MainWindow w(settingsFile());
        w.resize(1200, 800);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PlateWindow* view = PlateCommands::OpenPlateFolder(w, makePlate());
        QVERIFY(view);
        view->parentWidget()->resize(900, 560);
        WellPlateView* v = view->plateView();
        QApplication::processEvents();
        QVERIFY(v->layout().drawn);

        QTest::mouseClick(v, Qt::LeftButton, {}, centreOf(*v, 0, 0));
        QCOMPARE(v->selection().Selected().size(), size_t(1));
        QCOMPARE(view->selectedEvents(), 10);
        QTest::mouseClick(v, Qt::LeftButton, Qt::ControlModifier, centreOf(*v, 2, 11));
        QCOMPARE(view->selectedEvents(), 50);
        QVERIFY(view->summary().contains(QStringLiteral("2 wells, 2 with data, 50 events")));
        // Ctrl on a selected well deselects only that well.
        QTest::mouseClick(v, Qt::LeftButton, Qt::ControlModifier, centreOf(*v, 0, 0));
        QCOMPARE(view->selectedEvents(), 40);
        QVERIFY(v->selection().IsSelected({2, 11}));
        // Shift: the rectangle from the anchor (A01 now) to B02.
        QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, centreOf(*v, 1, 1));
        QCOMPARE(v->selection().Selected().size(), size_t(4));
        QCOMPARE(view->selectedEvents(), 60);
        // A plain click starts again.
        QTest::mouseClick(v, Qt::LeftButton, {}, centreOf(*v, 2, 11));
        QCOMPARE(view->selectedEvents(), 40);
        // The corner cell selects the plate as a whole.
        QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(v->Selected());
    }

    void tooSmallViewKeepsItsLastPicture()
    {
        WellPlateView v;
        v.SetPlateType(TPlateType::pt96);
        v.resize(500, 340);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(v.layout().drawn);
        const QImage before = v.picture();
        v.resize(40, 30);
        QApplication::processEvents();
        QCOMPARE(v.picture(), before);
    }

    void misnamedWellAndEmptyFolderAreReported()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        const QString plate = makePlate();
        writeWell(plate, QStringLiteral("12345B00.fcs"), 5, 9);
        QVERIFY(!runCommand([&] { PlateCommands::OpenPlateFolder(w, plate); }));
        QVERIFY(messages.messages.value(0).contains(QStringLiteral("12345B00.fcs")));
        QCOMPARE(w.dataList()->Count(), 0);

        messages.messages.clear();
        const QString empty = dir_.filePath(QStringLiteral("empty"));
        QDir().mkpath(empty);
        QVERIFY(!PlateCommands::OpenPlateFolder(w, empty));
        QVERIFY(messages.messages.value(0).contains(QStringLiteral("No FCS file")));
        QCOMPARE(w.dataList()->Count(), 0);
    }

    void yeastPlateOpensWith24FilledWells()
    {
        const QString yeast = QStringLiteral(ORVALA_SHARED_DIR "/plate-samples/yeast-96-rows-B-C");
        if (!QDir(yeast).exists()) QSKIP("shared plate samples not found");
        MainWindow w(settingsFile());
        PlateWindow* view = PlateCommands::OpenPlateFolder(w, yeast);
        QVERIFY(view);
        WellPlateView* v = view->plateView();
        QCOMPARE(v->PlateType(), TPlateType::pt96);
        int filled = 0;
        for (int r = 0; r < v->GetRowCount(); ++r)
            for (int c = 0; c < v->GetColCount(); ++c)
                if (v->well(r, c).TotalCount > 0) {
                    ++filled;
                    QCOMPARE(v->well(r, c).TotalCount, 1000);
                    QVERIFY(r == 1 || r == 2);
                }
        QCOMPARE(filled, 24);
    }

    void phenotypingRefusesDifferentParameterCounts()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 3, 5);
        TData* b = numberedData("b", 4, 5);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});
        QVERIFY(!PlateCommands::Phenotyping(w));
        QCOMPARE(messages.messages.value(0),
                 QStringLiteral("Sorry, all selected files must have the same number of parameters"));
        QCOMPARE(w.mdiArea()->subWindowList().size(), 0);
    }

    void phenotypingOnAPlateCountsAndFollowsTheMarks()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PlateCommands::OpenPlateFolder(w, makePlate());
        TData* plate = w.dataList()->GetItem(0);
        w.dataList()->MakeCurrent(plate);
        PhenotypingWindow* feno = PlateCommands::Phenotyping(w);
        QVERIFY(feno);
        feno->parentWidget()->resize(1100, 720);
        QCOMPARE(feno->windowTitle(), QStringLiteral("Phenotyping"));
        // The side plot starts on the histogram of the highlighted parameter.
        QCOMPARE(feno->popupY(), plate->CaseSize());

        feno->setParameterChecked(0, true);
        feno->setParameterChecked(1, true);
        QCOMPARE(plate->Selected, (TIntVector{0, 1}));
        QVERIFY(runCommand([&] { feno->FillTubes(); }));
        QApplication::processEvents();
        const PhenoCounter& c = feno->counter();
        QCOMPARE(c.TubeCount(), 4);  // A01, A02, B01, C12
        QCOMPARE(c.DieCount(), 2);
        QCOMPARE(feno->findChild<QLineEdit*>(QStringLiteral("tubec"))->text(), QStringLiteral("4"));
        QCOMPARE(feno->grid()->rowCount(), 4);
        QCOMPARE(feno->tableView()->model()->columnCount(), 4);
        QCOMPARE(feno->tableView()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("--"));
        QCOMPARE(feno->tableView()->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("++"));
        // Marks start at half the largest value (100): 50 on both dyes.
        QCOMPARE(c.Mark(3, 1), 50.0);
        // Well C12 (40 events): index 0..39 against 50 is all "-"; half at 100 is "+".
        QCOMPARE(c.Counts(3)[1], 20);
        QCOMPARE(c.Counts(3)[0], 20);

        // A mark moved without Lock: only that tube changes.
        feno->moveMark(3, 0, 30);
        QCOMPARE(c.Counts(3)[3], 0);
        QCOMPARE(c.Counts(3)[2], 10);  // events 30..39 are >= 30 on dye 0 and 0 on dye 1
        QCOMPARE(c.Mark(2, 0), 50.0);
        QCOMPARE(feno->tableView()->model()->data(feno->tableView()->model()->index(3, 2)).toInt(), 10);
        // With Lock every tube follows.
        feno->setLock(true);
        feno->moveMark(0, 0, 5);
        for (int t = 0; t < 4; ++t) QCOMPARE(c.Mark(t, 0), 5.0);

        // Dragging a mark on a histogram: counted when the button comes up.
        Chart* ch = feno->chartAt(1, 0);
        QVERIFY(ch);
        feno->setLock(false);
        const QRect area = ch->plotArea();
        const int x = int(ch->valueToPixel(ChartAxis::Bottom, 10.0));
        QTest::mousePress(ch->canvas(), Qt::LeftButton, {}, QPoint(x, area.center().y()));
        QTest::mouseRelease(ch->canvas(), Qt::LeftButton, {}, QPoint(x, area.center().y()));
        const double mark = c.Mark(1, 0);
        QVERIFY2(std::fabs(mark - ch->pixelToValue(ChartAxis::Bottom, x)) < 1e-9, qPrintable(QString::number(mark)));
        QVERIFY(mark > 5 && mark < 15);
        QCOMPARE(c.Mark(2, 0), 5.0);
        int above = 0;
        for (int e = 0; e < 20; ++e) above += e >= mark;
        QCOMPARE(c.Counts(1)[2] + c.Counts(1)[3], above);

        // The bar and tower pages draw without OpenGL.
        feno->pages()->setCurrentIndex(3);
        QApplication::processEvents();
        QVERIFY(!feno->towers()->grab().isNull());
        QCOMPARE(feno->towers()->towerCount(), 16);
        QCOMPARE(feno->heatMap()->PlateType(), TPlateType::pt384);
        QVERIFY(messages.messages.isEmpty());
    }

    void onlyVisibleCellsHaveCharts()
    {
        PhenotypingWindow feno(nullptr);
        // 50 detected tubes through a tube channel.
        DataRef tubes(numberedData("tubes", 4, 5000));
        for (int e = 0; e < 5000; ++e) tubes->data[e][0] = 100.0 * (e / 100 + 1);
        feno.Add(tubes.get());
        feno.setCurrentParameter(0);
        feno.setParameterChecked(1, true);
        feno.setParameterChecked(2, true);
        feno.setParameterChecked(3, true);
        feno.resize(900, 600);
        feno.show();
        QVERIFY(QTest::qWaitForWindowExposed(&feno));
        QVERIFY(runCommand([&] { feno.toggleTip(); }));
        QCOMPARE(tubes->tipchannel(), 0);
        QCOMPARE(feno.counter().TubeCount(), 50);
        QCOMPARE(feno.counter().DieCount(), 3);
        QApplication::processEvents();
        QVERIFY(feno.chartCount() > 0);
        QVERIFY(feno.chartCount() < 50 * 3);
        QVERIFY(feno.chartAt(0, 0));
        QVERIFY(!feno.chartAt(49, 0));
        feno.grid()->scrollToBottom();
        QApplication::processEvents();
        QVERIFY(feno.chartAt(49, 2));
        QVERIFY(!feno.chartAt(0, 0));
    }

    void fillTubesRefusedForFewerDyesThanTheFirst()
    {
        MessageRecorder messages;
        PhenotypingWindow feno(nullptr);
        DataRef a(numberedData("a", 3, 10)), b(numberedData("b", 3, 10));
        feno.Add(a.get());
        feno.Add(b.get());
        QVERIFY(!feno.findChild<QPushButton*>(QStringLiteral("Set/Unset As Tip"))->isEnabled());
        // Both data sets follow the check marks; then b loses one behind the window's back.
        feno.setParameterChecked(1, true);
        feno.setParameterChecked(2, true);
        QCOMPARE(a->Selected, (TIntVector{1, 2}));
        QVERIFY(runCommand([&] { feno.FillTubes(); }));
        QCOMPARE(feno.counter().TubeCount(), 2);
        // Several data sets name the MABs rows after their parameters.
        QCOMPARE(feno.mabs().rows, 3);
        QCOMPARE(feno.mabs().Cell(2, 2), std::string("Ch3"));
        b->Select(-1);
        b->Select(1);
        feno.findChild<QPushButton*>(QStringLiteral("Fill Tubes"))->click();
        QVERIFY(messages.messages.value(0).contains(QStringLiteral("fewer")));
        QCOMPARE(feno.counter().TubeCount(), 2);  // the old tubes stay
    }

    void groupsMabsAndProjectsRoundTrip()
    {
        MessageRecorder messages;
        const QString plateDir = makePlate();
        PhenotypingWindow feno(nullptr);
        feno.Add(plateDir);
        feno.setParameterChecked(0, true);
        feno.setParameterChecked(1, true);
        QVERIFY(runCommand([&] { feno.FillTubes(); }));
        feno.resize(1100, 760);
        feno.show();
        QVERIFY(QTest::qWaitForWindowExposed(&feno));

        // "Create Group" down: clicks on MABs rows 1 and 3 put tubes 0 and 2 in one group.
        auto* create = feno.findChild<QPushButton*>(QStringLiteral("Create Group"));
        MabTable t;
        t.Resize(5, 3);
        t.SetCell(0, 1, "CD4");
        t.SetCell(1, 2, "title");
        feno.setMabs(t);
        QCOMPARE(feno.grid()->horizontalHeaderItem(0)->text(), QStringLiteral("CD4"));
        QCOMPARE(feno.chartAt(0, 1)->title(), QStringLiteral("title"));
        feno.pages()->setCurrentIndex(2);
        QApplication::processEvents();
        create->setChecked(true);
        QTableWidget* mabs = feno.mabGrid();
        for (int row : {1, 3}) {
            const QRect r = mabs->visualItemRect(mabs->item(row, 0));
            QTest::mouseClick(mabs->viewport(), Qt::LeftButton, {}, r.center());
        }
        create->setChecked(false);
        const TIntVector groups = feno.counter().Group;
        QVERIFY(groups[0] != 0);
        QCOMPARE(groups[2], groups[0]);
        QCOMPARE(groups[1], 0);
        feno.moveMark(0, 1, 77);
        QCOMPARE(feno.counter().Mark(2, 1), 77.0);  // the group follows without Lock
        QCOMPARE(feno.counter().Mark(1, 1), 50.0);

        const QString project = dir_.filePath(QStringLiteral("p.phe"));
        QVERIFY(runCommand([&] { feno.SaveProject(project); }));
        PhenotypingWindow other(nullptr);
        QVERIFY(runCommand([&] { other.LoadProject(project); }));
        QCOMPARE(other.DataCount(), 1);
        QCOMPARE(other.Data(0)->NonEmptyWellCount, 4);
        QCOMPARE(other.counter().TubeCount(), 4);
        QCOMPARE(other.counter().Group, groups);
        QCOMPARE(other.counter().Mark(2, 1), 77.0);
        QCOMPARE(other.counter().Counts(3), feno.counter().Counts(3));
        QCOMPARE(other.mabs().Cell(0, 1), std::string("CD4"));

        // The antibody table alone.
        const QString table = dir_.filePath(QStringLiteral("t.mab"));
        QVERIFY(runCommand([&] { feno.SaveMabs(table); }));
        QVERIFY(runCommand([&] { other.LoadMabs(table); }));
        QCOMPARE(other.mabs().cells, feno.mabs().cells);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('\n')));

        // A project naming a missing file loads nothing and says so.
        PhenoProject broken = ReadPhenoProject(toEightBit(project));
        broken.sources[0].file = toEightBit(dir_.filePath(QStringLiteral("gone")));
        WritePhenoProject(toEightBit(project), broken);
        QVERIFY(!runCommand([&] { other.LoadProject(project); }));
        QVERIFY(messages.messages.value(0).contains(QStringLiteral("gone")));
        QCOMPARE(other.DataCount(), 1);
    }

    void sidePlotShowsHistogramOrPoints()
    {
        PhenotypingWindow feno(nullptr);
        DataRef a(numberedData("a", 3, 50)), b(numberedData("b", 3, 70));
        feno.Add(a.get());
        feno.Add(b.get());
        // With two data sets, y stays "Count" (the parameter count), not 2.
        feno.setCurrentParameter(1);
        QCOMPARE(feno.popupX(), 1);
        QCOMPARE(feno.popupY(), 3);
        Chart* side = feno.sidePlot();
        QCOMPARE(side->seriesCount(), 1);
        QCOMPARE(side->seriesKind(side->seriesAt(0)), SeriesKind::Line);
        QCOMPARE(side->axisTitle(ChartAxis::Left), QStringLiteral("Count"));
        feno.setPopup(1, 2);
        QCOMPARE(side->seriesKind(side->seriesAt(0)), SeriesKind::Points);
        QCOMPARE(side->pointCount(side->seriesAt(0)), 70);  // the chosen data set, b
        feno.findChild<QCheckBox*>(QStringLiteral("together"))->setChecked(true);
        QCOMPARE(side->pointCount(side->seriesAt(0)), 120);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaPlateTests"));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PlateWindowsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "PlateWindowsTest.moc"
