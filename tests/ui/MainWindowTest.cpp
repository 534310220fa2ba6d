// The main window: menu table, the commands that work now, opening files with
// progress, and the settings it keeps.
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "FcsFixtureWriter.h"
#include "UiTestHelpers.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/IniFile.h"
#include "ui/workspace/DeleteChannelsDialog.h"
#include "ui/workspace/FileInfoWindow.h"
#include "ui/workspace/FileOpener.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/OptionsDialog.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// Stands in for the file readers: a file named like "name.fcs" gives count
// data sets of 3 parameters, chained as the FCS reader chains them.
struct ChainOpener {
    int count = 3;
    int delayMs = 0;
    QStringList opened;
    TData* operator()(const std::string& fileName, int datasetnum)
    {
        opened << QString::fromStdString(fileName);
        if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        TData* first = nullptr;
        TData* previous = nullptr;
        for (int i = datasetnum; i < count; ++i) {
            TData* d = numberedData("", 3, 10 + i);
            d->setFileName(fileName);
            d->datasetnum = i;
            (previous ? previous->NextData : first) = d;
            previous = d;
        }
        return first;
    }
};

struct OpenerScope {
    explicit OpenerScope(FileOpenFunction f) : previous(fileOpenFunction()) { fileOpenFunction() = std::move(f); }
    ~OpenerScope() { fileOpenFunction() = previous; }
    FileOpenFunction previous;
};

fixtures::FcsDataSet smallSet(int params, int events, const std::string& sample)
{
    fixtures::FcsDataSet s;
    for (int p = 0; p < params; ++p) s.parameters.push_back({"P" + std::to_string(p + 1), "S" + std::to_string(p + 1), 1024});
    for (int i = 0; i < params * events; ++i) s.values.push_back(float(i));
    s.keywords = {{"$SAMPLE", sample}, {"$OP", "Ana"}};
    return s;
}

QStringList visibleCaptions(const QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator()) out << a->text();
    return out;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void init() { QFile::remove(settingsFile()); }

    void captionAndMenuTable()
    {
        MainWindow w(settingsFile());
        QCOMPARE(w.windowTitle(), QStringLiteral("Orvala 9.0"));
        const QList<QMenu*> menus = w.menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(menus.size(), 4);
        QCOMPARE(visibleCaptions(menus[0]),
                 QStringList({"Hypercyt", "Acquisition", "Open", "Open Plate", "Open Picture", "Open Multipage Image", "Load Protocol",
                              "Import Gating-ML", "Remove", "Save As FCS", "Save Gate Table", "Save As TXT",
                              "Save For Cluster", "Save Protocol", "Export Gating-ML", "Save as Multipage Image", "Open Workspace", "Save Workspace", "Close Workspace",
                              "Exit"}));
        QCOMPARE(visibleCaptions(menus[1]),
                 QStringList({"2D Plot", "Average", "Normalized Average", "Distribution", "Time Plot", "Tabloid",
                              "Phenotyping"}));
        QCOMPARE(visibleCaptions(menus[2]),
                 QStringList({"Add Gate Table To Data Table", "/BoxcarWidth", "*BoxcarWidth", "Discriminate", "Join",
                              "Decomposition", "Convert To Log Scale", "Centered Logratio Transform",
                              "Convert to Hyperspherical Coordinates", "Spectra", "Delete channels",
                              "Swap Channels order", "Cut Noise", "Add noise", "Transpose", "Breed gates", "Combine",
                              "Calculator", "Find Signal", "Scale 0..1023", "Properties"}));
        QCOMPARE(visibleCaptions(menus[3]), QStringList({"&Tile", "&Cascade"}));

        for (const char* hidden : {"Open Kodak Multipage", "Gate Projection", "Experiment I", "Experiment II", "Test", "SVM"}) {
            QAction* a = w.action(QString::fromLatin1(hidden));
            QVERIFY2(a, hidden);
            QVERIFY2(!a->isVisible(), hidden);
        }
        QVERIFY(!w.action(QStringLiteral("Gate Projection"))->isEnabled());
        QVERIFY(!w.action(QStringLiteral("Experiment II"))->isEnabled());
        for (const char* working : {"Remove", "Join", "Delete channels", "Swap Channels order", "Properties", "Exit",
                                    "&Tile", "&Cascade", "Save For Cluster", "Transpose", "Add noise", "Scale 0..1023",
                                    "Average", "Normalized Average", "Distribution", "Calculator", "Acquisition", "Hypercyt",
                                    "Time Plot", "Tabloid", "Combine", "Open Plate", "Phenotyping", "Import Gating-ML", "Export Gating-ML"})
            QVERIFY2(w.action(QString::fromLatin1(working))->isEnabled(), working);
        // Entries whose work is not built stay disabled.
        for (const char* notYet : {"Experiment I", "Test", "SVM"})
            QVERIFY2(!w.action(QString::fromLatin1(notYet))->isEnabled(), notYet);
    }

    void openAddsEveryDataSetOfTheChain()
    {
        ChainOpener opener;
        OpenerScope scope([&](const std::string& f, int n) { return opener(f, n); });
        MainWindow w(settingsFile());
        const QString file = dir_.filePath(QStringLiteral("three.fcs"));
        w.openFiles({file});
        DataListWindow* box = w.dataList();
        QCOMPARE(box->Count(), 3);
        QCOMPARE(box->List->topLevelItemCount(), 3);
        QStringList names;
        for (int i = 0; i < 3; ++i) names << box->List->topLevelItem(i)->text(0);
        QCOMPARE(names, QStringList({"three", "three_1", "three_2"}));
    }

    void openSortsTheNamesAndStartUpTakesOnlyTheFirstDataSet()
    {
        ChainOpener opener;
        OpenerScope scope([&](const std::string& f, int n) { return opener(f, n); });
        MainWindow w(settingsFile());
        w.openFiles({dir_.filePath(QStringLiteral("b.fcs")), dir_.filePath(QStringLiteral("a.fcs"))});
        QCOMPARE(opener.opened, QStringList({dir_.filePath(QStringLiteral("a.fcs")), dir_.filePath(QStringLiteral("b.fcs"))}));
        QCOMPARE(w.dataList()->Count(), 6);

        w.openFirstDataSet(dir_.filePath(QStringLiteral("c.fcs")));
        QCOMPARE(w.dataList()->Count(), 7);
        QCOMPARE(w.dataList()->GetItem(6)->ScreenName(), std::string("c"));
    }

    void readerErrorsAreShownAndTheProgramGoesOn()
    {
        MessageRecorder recorder;
        OpenerScope scope([](const std::string& f, int) -> TData* {
            defaultSink().message("File " + f + " does not look like FCS file!");
            throw OrvalaError("Error reading file " + f);
        });
        MainWindow w(settingsFile());
        w.openFiles({QStringLiteral("/no/such.fcs")});
        QCOMPARE(recorder.messages, QStringList({"File /no/such.fcs does not look like FCS file!",
                                                 "Error reading file /no/such.fcs"}));
        QCOMPARE(w.dataList()->Count(), 0);
    }

    void slowOpenShowsProgressAndKeepsTheWindowAlive()
    {
        ChainOpener opener;
        opener.count = 1;
        opener.delayMs = 1500;
        OpenerScope scope([&](const std::string& f, int n) { return opener(f, n); });
        MainWindow w(settingsFile());
        w.show();
        bool progressSeen = false;
        int ticks = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            ++ticks;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<QProgressDialog*>(top); p && p->isVisible()) progressSeen = true;
        });
        probe.start(50);
        w.openFiles({dir_.filePath(QStringLiteral("slow.fcs"))});
        probe.stop();
        QVERIFY(progressSeen);
        QVERIFY2(ticks >= 10, "the user-interface thread stood still while reading");
        QCOMPARE(w.dataList()->Count(), 1);
    }

    void commandsAskForASelection()
    {
        MessageRecorder recorder;
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 3, 2);
        w.dataList()->Add(a);
        // One data set, nothing selected: the command takes it.
        w.action(QStringLiteral("Swap Channels order"))->trigger();
        QCOMPARE(a->data[1][0], 102.0);
        QCOMPARE(a->data[1][1], 101.0);
        QCOMPARE(a->data[1][2], 100.0);
        QCOMPARE(a->Desc()[0].name, std::string("Ch1"));
        QVERIFY(recorder.messages.isEmpty());

        w.dataList()->Add(numberedData("b", 3, 2));
        w.dataList()->SelectData({});
        w.action(QStringLiteral("Swap Channels order"))->trigger();
        QCOMPARE(a->data[1][0], 102.0);
        QCOMPARE(recorder.messages, QStringList{QStringLiteral("Please select at least one data file!")});
    }

    void swapKeepsTheMiddleValueOfAnOddRow()
    {
        MainWindow w(settingsFile());
        TData* d = numberedData("odd", 5, 1);
        w.dataList()->Add(d);
        w.dataList()->SelectData({d});
        w.action(QStringLiteral("Swap Channels order"))->trigger();
        for (int p = 0; p < 5; ++p) QCOMPARE(d->data[0][p], double(4 - p));
    }

    void joinMakesTheSelectionKidsOfTheResult()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 3);
        TData* b = numberedData("b", 2, 4);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({b, a});
        w.action(QStringLiteral("Join"))->trigger();
        QCOMPARE(w.dataList()->Count(), 3);
        TData* joined = w.dataList()->GetItem(2);
        QCOMPARE(joined->ShortName(), std::string("b+a"));
        QCOMPARE(joined->events(), 7);
        QCOMPARE(a->Parent(), joined);
        QCOMPARE(w.dataList()->List->topLevelItemCount(), 1);
        QCOMPARE(w.dataList()->List->topLevelItem(0)->childCount(), 2);
    }

    void deleteChannelsAddsADataSetOfTheKeptChannels()
    {
        MainWindow w(settingsFile());
        TData* d = numberedData("d", 4, 6);
        for (int p = 0; p < 4; ++p) d->Desc()[size_t(p)].name = "P" + std::to_string(p);
        w.dataList()->Add(d);
        w.dataList()->SelectData({d});
        QTimer::singleShot(0, [] {
            auto* dlg = qobject_cast<DeleteChannelsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->SetChecked(1, true);
            dlg->SetChecked(3, true);
            dlg->accept();
        });
        w.action(QStringLiteral("Delete channels"))->trigger();
        QCOMPARE(w.dataList()->Count(), 2);
        TData* kept = w.dataList()->GetItem(1);
        QCOMPARE(kept->Parent(), d);
        QCOMPARE(kept->CaseSize(), 2);
        QCOMPARE(kept->Desc()[0].name, std::string("P0"));
        QCOMPARE(kept->Desc()[1].name, std::string("P2"));
        QCOMPARE(kept->data[5][1], 502.0);
        QCOMPARE(w.settings().ReadBool(QStringLiteral("DeletePars"), QStringLiteral("CH3"), false), true);
        QCOMPARE(w.settings().ReadBool(QStringLiteral("deletepars"), QStringLiteral("CH0"), true), false);
    }

    void saveForClusterWritesBesideTheDataSet()
    {
        MainWindow w(settingsFile());
        TData* d = TData::Create("clu", 2, 2);
        d->setFileName(toEightBit(dir_.filePath(QStringLiteral("clu.fcs"))));
        d->data[0][0] = 0.1;
        d->data[0][1] = -2;
        d->data[1][0] = 1e21;
        d->data[1][1] = 123456.75;
        w.dataList()->Add(d);
        w.action(QStringLiteral("Save For Cluster"))->trigger();
        QFile f(dir_.filePath(QStringLiteral("clu.txt")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("UNIQID\tc0\tc1\r\nd0\t0.1\t-2\r\nd1\t1e+21\t123456.75\r\n"));
    }

    void threeDataSetsOfAFileBecomeThreeNodes()
    {
        const QString path = dir_.filePath(QStringLiteral("multi.fcs"));
        QVERIFY(fixtures::writeFcs30(toEightBit(path), {smallSet(2, 3, "a"), smallSet(2, 1, "b"), smallSet(2, 2, "c")}));
        MainWindow w(settingsFile());
        QVERIFY(w.action(QStringLiteral("Open"))->isEnabled());
        w.openFiles({path});
        DataListWindow* box = w.dataList();
        QCOMPARE(box->List->topLevelItemCount(), 3);
        QStringList names;
        for (int i = 0; i < 3; ++i) names << box->List->topLevelItem(i)->text(0);
        QCOMPARE(names, QStringList({"multi", "multi_1", "multi_2"}));
        QCOMPARE(box->GetItem(0)->events(), 3);
        QCOMPARE(box->GetItem(1)->events(), 1);
        QCOMPARE(box->GetItem(2)->events(), 2);
    }

    void startUpFileShowsItsParametersAndEvents()
    {
        const QString path = dir_.filePath(QStringLiteral("demo.fcs"));
        QVERIFY(fixtures::writeFcs30(toEightBit(path), {fixtures::makeDemoDataSet(5000)}));
        MainWindow w(settingsFile());
        w.resize(900, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.openFirstDataSet(path);
        DataListWindow* box = w.dataList();
        QCOMPARE(box->Count(), 1);
        QCOMPARE(box->List->topLevelItem(0)->text(0), QStringLiteral("demo"));
        // It is current at once: the grid shows it without a click.
        QCOMPARE(box->SelectionCount(), 1);
        QCOMPARE(box->Value(QStringLiteral("Params")), QStringLiteral("12"));
        QCOMPARE(box->Value(QStringLiteral("Events")), QStringLiteral("5000"));
        QCOMPARE(box->Value(QStringLiteral("File Path")), path);
    }

    void fileInfoShowsTheKeywordsOfTheChosenDataSet()
    {
        const QString path = dir_.filePath(QStringLiteral("info.fcs"));
        QVERIFY(fixtures::writeFcs30(toEightBit(path), {smallSet(2, 3, "first"), smallSet(3, 4, "second")}));
        MainWindow w(settingsFile());
        FileInfoWindow* see = w.fileInfo();
        see->ShowFile(path, 1);
        QVERIFY(see->isVisible());
        QCOMPARE(see->windowTitle(), QStringLiteral("View"));
        QCOMPARE(see->DataSetBox->count(), 2);
        QCOMPARE(see->DataSetBox->currentText(), QStringLiteral("2"));
        QCOMPARE(see->Sample->text(), QStringLiteral("second"));
        QCOMPARE(see->Operator->text(), QStringLiteral("Ana"));
        QCOMPARE(see->Mode->text(), QStringLiteral("List"));
        QCOMPARE(see->Events->text(), QStringLiteral("4"));
        QCOMPARE(see->RawHeader->item(0, 0)->text(), QStringLiteral("$BEGINANALYSIS"));
        QCOMPARE(see->ParGrid->rowCount(), 3);
        QStringList titles;
        for (int c = 0; c < see->ParGrid->columnCount(); ++c)
            titles << see->ParGrid->horizontalHeaderItem(c)->text();
        QCOMPARE(titles, QStringList({"", "N", "S", "B", "E", "R"}));
        QCOMPARE(see->ParGrid->item(2, 0)->text(), QStringLiteral("3"));
        QCOMPARE(see->ParGrid->item(2, 2)->text(), QStringLiteral("S3"));

        see->DataSetBox->setCurrentIndex(0);
        QCOMPARE(see->Sample->text(), QStringLiteral("first"));
        QCOMPARE(see->ParGrid->rowCount(), 2);
    }

    void fileInfoOnABadFileSaysSoAndHides()
    {
        MessageRecorder recorder;
        const QString path = dir_.filePath(QStringLiteral("bad.fcs"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is no flow cytometry file at all, just text");
        f.close();
        MainWindow w(settingsFile());
        w.fileInfo()->ShowFile(path, 0);
        QVERIFY(!w.fileInfo()->isVisible());
        QVERIFY(recorder.messages.contains(QStringLiteral("File ") + path + QStringLiteral(" seems to be bad!")));
    }

    void positionIsReadAtStartAndWrittenOnClose()
    {
        {
            IniFile ini(settingsFile());
            ini.WriteInteger(QStringLiteral("MAIN"), QStringLiteral("left"), 40);
            ini.WriteInteger(QStringLiteral("Main"), QStringLiteral("Top"), 30);
        }
        MainWindow w(settingsFile());
        QCOMPARE(w.pos(), QPoint(40, 30));
        QVERIFY(w.pool());
        w.move(70, 50);
        w.close();
        QVERIFY(!w.pool());
        IniFile after(settingsFile());
        QCOMPARE(after.ReadInteger(QStringLiteral("Main"), QStringLiteral("Left"), -1), 70);
        QCOMPARE(after.ReadInteger(QStringLiteral("Main"), QStringLiteral("Top"), -1), 50);
    }

    void backgroundPictureFollowsTheOptionsBox()
    {
        {
            MainWindow w(settingsFile());
            w.show();
            QVERIFY(w.backgroundVisible());  // shown at start
            QVERIFY(w.options()->CopyLeft->isChecked());
            w.options()->CopyLeft->setChecked(false);
            QTest::mouseClick(w.mdiArea()->viewport(), Qt::LeftButton);
            QVERIFY(!w.backgroundVisible());
            w.options()->done(QDialog::Accepted);
        }
        MainWindow again(settingsFile());
        QVERIFY(!again.options()->CopyLeft->isChecked());
        QVERIFY(again.backgroundVisible());
    }
};

int runMainWindowTests(int argc, char** argv)
{
    MainWindowTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "MainWindowTest.moc"
