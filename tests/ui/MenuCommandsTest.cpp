// The main window's file, gate and plot commands, driven without their
// file dialogs: the file commands write and read real files in a temporary folder.
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QWindow>

#ifdef ORVALA_HAVE_QPA
#include <qpa/qwindowsysteminterface.h>
#endif

#include "UiTestHelpers.h"
#include "analysis/TPca.h"
#include "core/Messages.h"
#include "core/TGate.h"
#include "formats/FcsOpen.h"
#include "formats/images/MultiPage.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/ProgressWindow.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/ScatterPlotWindow.h"
#include "ui/workspace/DataSetCommands.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/OptionsDialog.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// A projection gate on the square [lo, hi]^2 of columns 0 (x) and 1 (y).
TData* gatedKid(TData* parent, const std::string& name, double lo, double hi)
{
    TVector x(size_t(parent->CaseSize()), 0.0), y(size_t(parent->CaseSize()), 0.0);
    x[0] = 1;
    y[1] = 1;
    TGate gate(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
    gate.name = name;
    return TData::Gated(parent, &gate);
}

QByteArray readAll(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBmp(const QString& name, int width, int height, uint8_t fill)
{
    std::vector<uint8_t> pixels(size_t(width * height), fill);
    pixels[0] = uint8_t(fill / 2);
    const std::vector<uint8_t> bytes = GreyBmpBytes(width, height, pixels.data());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

}  // namespace

class MenuCommandsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }
    QString file(const QString& name) const { return dir_.filePath(name); }

private slots:
    void init() { QFile::remove(settingsFile()); }

    void fileAndGateCommandsAreEnabled()
    {
        MainWindow w(settingsFile());
        for (const char* caption :
             {"2D Plot", "Breed gates", "Add Gate Table To Data Table", "Save Gate Table", "Save As FCS", "Save As TXT",
              "Save Protocol", "Load Protocol", "Open Picture", "Open Multipage Image",
              "Save as Multipage Image"})
            QVERIFY2(w.action(QString::fromLatin1(caption))->isEnabled(), caption);
    }

    void saveAsFcsOpensBackWithTheSameValues()
    {
        MainWindow w(settingsFile());
        TData* d = numberedData("cells", 3, 40);
        w.dataList()->Add(d);
        const QString name = file(QStringLiteral("cells.fcs"));
        DataSetCommands::SaveAsFcs(*d, name);

        RecordingSink sink;
        TData* back = CreateFromFile(QFile::encodeName(name).toStdString(), 0, sink, nullptr);
        QVERIFY(back);
        w.dataList()->Add(back);
        QCOMPARE(back->CaseSize(), 3);
        QCOMPARE(back->events(), 40);
        for (int e : {0, 17, 39})
            for (int p = 0; p < 3; ++p) QCOMPARE(back->data[e][p], d->data[e][p]);
    }

    void saveAsFcsIntoAMissingFolderIsShownNotThrown()
    {
        MainWindow w(settingsFile());
        TData* d = numberedData("cells", 2, 5);
        w.dataList()->Add(d);
        MessageRecorder recorder;
        // The menu entry shows the writer's error and the program goes on.
        const QString bad = file(QStringLiteral("no-such-folder/x.fcs"));
        runCommand([&] { DataSetCommands::SaveAsFcs(*d, bad); });
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(!QFile::exists(bad));
    }

    void breedGatesCopiesTheChildGateOntoOtherRoots()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 10);  // column 0 = e * 100
        TData* b = numberedData("b", 2, 30);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        TData* kid = gatedKid(a, "low", -1, 450);  // events 0..4 of a
        w.dataList()->Add(kid);
        QCOMPARE(kid->events(), 5);

        w.dataList()->SelectData({a});
        w.action(QStringLiteral("Breed gates"))->trigger();
        TData* copy = b->GetKidByName("low");
        QVERIFY(copy);
        QCOMPARE(copy->events(), 5);  // the same square keeps events 0..4 of b
        QCOMPARE(copy->data[4][0], 400.0);
        QVERIFY(w.dataList()->NodeOf(copy));
        QCOMPARE(w.dataList()->Count(), 4);
        // Breeding again changes nothing: the kid exists already.
        w.action(QStringLiteral("Breed gates"))->trigger();
        QCOMPARE(w.dataList()->Count(), 4);
    }

    void gateTableIsSavedAndAppended()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 6);
        w.dataList()->Add(a);
        w.dataList()->Add(gatedKid(a, "low", -1, 250));  // events 0..2
        const QString name = file(QStringLiteral("gates.txt"));
        DataSetCommands::SaveGateTable(*a, name);
        const QList<QByteArray> lines = readAll(name).split('\n');
        QVERIFY(lines.size() >= 7);
        // A header naming the kid, then one row per event of a: its number and 0/1.
        QVERIFY(lines[0].startsWith("Event_N\t"));
        QVERIFY(lines[0].contains("low"));
        QCOMPARE(lines[1].trimmed(), QByteArray("0\t1"));
        QCOMPARE(lines[3].trimmed(), QByteArray("2\t1"));
        QCOMPARE(lines[4].trimmed(), QByteArray("3\t0"));
        QCOMPARE(lines[6].trimmed(), QByteArray("5\t0"));

        w.dataList()->SelectData({a});
        w.action(QStringLiteral("Add Gate Table To Data Table"))->trigger();
        QCOMPARE(a->CaseSize(), 3);
        QCOMPARE(a->data[2][2], 1.0);
        QCOMPARE(a->data[3][2], 0.0);
    }

    void protocolSavedAndReplayedCreatesChildren()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 10);
        TData* b = numberedData("b", 2, 10);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        TData* low = gatedKid(a, "low", -1, 450);
        w.dataList()->Add(low);
        w.dataList()->Add(gatedKid(low, "lower", -1, 150));
        const QString name = file(QStringLiteral("p.orp"));
        DataSetCommands::SaveProtocol(*a, name);

        const std::vector<TData*> made = DataSetCommands::LoadProtocol(w, *b, name);
        QCOMPARE(int(made.size()), 2);
        TData* bLow = b->GetKidByName("low");
        QVERIFY(bLow);
        QCOMPARE(bLow->events(), 5);
        TData* bLower = bLow->GetKidByName("lower");
        QVERIFY(bLower);
        QCOMPARE(bLower->events(), 2);
        QCOMPARE(w.dataList()->Count(), 6);
        QVERIFY(w.dataList()->NodeOf(bLower));
    }

    void loadingANonProtocolFileAddsNothing()
    {
        MainWindow w(settingsFile());
        TData* b = numberedData("b", 2, 10);
        w.dataList()->Add(b);
        const QString name = file(QStringLiteral("junk.orp"));
        {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a protocol");
        }
        MessageRecorder recorder;
        runCommand([&] { DataSetCommands::LoadProtocol(w, *b, name); });
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].contains(QStringLiteral("is not protocol file")));
        QCOMPARE(w.dataList()->Count(), 1);
    }

    void saveAsTxtWritesEveryEventAsIsOrScaled()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 4);  // values 0 .. 301
        w.dataList()->Add(a);
        struct Case {
            bool scaled;
            QByteArray first, last;
        };
        // Scaled: the smallest and largest value of the whole table map to 0 and 1023.
        for (const Case& c : {Case{false, "0\t1", "300\t301"}, Case{true, "0\t3", "1020\t1023"}}) {
            const QString name = file(c.scaled ? QStringLiteral("scaled.txt") : QStringLiteral("asis.txt"));
            DataSetCommands::SaveAsTxt(*a, name, c.scaled);
            QList<QByteArray> lines = readAll(name).split('\n');
            QCOMPARE(lines.size(), 6);  // header, four events, nothing after the last CR LF
            for (int i = 0; i < 5; ++i) QVERIFY(lines[i].endsWith('\r'));
            QCOMPARE(lines[1].chopped(1), c.first);
            QCOMPARE(lines[4].chopped(1), c.last);
        }
    }

    void multipageRoundTripAndStop()
    {
        MainWindow w(settingsFile());
        QDir frames(file(QStringLiteral("frames")));
        QVERIFY(frames.mkpath(QStringLiteral(".")));
        writeBmp(frames.filePath(QStringLiteral("500.bmp")), 4, 3, 100);
        writeBmp(frames.filePath(QStringLiteral("600.bmp")), 4, 3, 200);

        TData* seq = DataSetCommands::OpenMultipage(w, frames.path(), false);
        QVERIFY(seq);
        QVERIFY(seq->IsSequence());
        QCOMPARE(int(seq->seq.size()), 2);
        QCOMPARE(w.dataList()->Count(), 1);
        QVERIFY(!w.progress()->isVisible());

        const QString copy = file(QStringLiteral("copy"));
        DataSetCommands::SaveMultipage({seq}, copy);
        TData* again = DataSetCommands::OpenMultipage(w, copy, false);
        QVERIFY(again);
        QCOMPARE(int(again->seq.size()), 2);
        QCOMPARE(w.dataList()->Count(), 2);

        // "Stop" pressed while the first frame is read: the load ends, nothing is added.
        QTimer::singleShot(0, w.progress()->Stop, &QPushButton::click);
        TData* stopped = DataSetCommands::OpenMultipage(w, frames.path(), false);
        QVERIFY(!stopped);
        QCOMPARE(w.dataList()->Count(), 2);
        QVERIFY(!w.progress()->isVisible());
    }

    void multipageLoadLetsNoClickThrough()
    {
#ifndef ORVALA_HAVE_QPA
        QSKIP("Needs the Qt platform headers (qt6-base-private-dev) to queue window-system input");
#else
        MainWindow w(settingsFile());
        QDir frames(file(QStringLiteral("clickframes")));
        QVERIFY(frames.mkpath(QStringLiteral(".")));
        for (int k = 0; k < 3; ++k) writeBmp(frames.filePath(QStringLiteral("%1.bmp").arg(500 + k)), 4, 3, 100);

        // A click waiting in the window system's queue when the load starts,
        // as a click on a menu would be.
        struct Probe : QWidget {
            int presses = 0;
            void mousePressEvent(QMouseEvent*) override { ++presses; }
        } probe;
        probe.resize(100, 100);
        probe.show();
        QVERIFY(QTest::qWaitForWindowExposed(&probe));
        QWindow* window = probe.windowHandle();
        QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            window, QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)), Qt::LeftButton, Qt::LeftButton,
            QEvent::MouseButtonPress);

        TData* seq = DataSetCommands::OpenMultipage(w, frames.path(), false);
        QVERIFY(seq);
        QCOMPARE(probe.presses, 0);  // painting went on, the click waited
        QWindowSystemInterface::flushWindowSystemEvents();
        QCOMPARE(probe.presses, 1);
#endif
    }

    void openPictureAddsOneEventPerPixel()
    {
        MainWindow w(settingsFile());
        const QString name = file(QStringLiteral("grey.bmp"));
        writeBmp(name, 4, 3, 200);
        TData* d = DataSetCommands::OpenPicture(w, name);
        QVERIFY(d);
        QCOMPARE(d->events(), 12);
        QCOMPARE(d->CaseSize(), 3);  // red, green, blue
        QCOMPARE(d->data[1][0], 200.0);
        QCOMPARE(d->data[0][2], 100.0);  // the darker first pixel
        QCOMPARE(w.dataList()->Count(), 1);

        MessageRecorder recorder;
        TData* bad = nullptr;
        runCommand([&] { bad = DataSetCommands::OpenPicture(w, file(QStringLiteral("missing.bmp"))); });
        QVERIFY(!bad);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(w.dataList()->Count(), 1);
    }

    void protocolCommandsWithoutSelectionDoNothingSilently()
    {
        MainWindow w(settingsFile());
        w.dataList()->Add(numberedData("a", 2, 10));
        w.dataList()->Add(numberedData("b", 2, 10));
        MessageRecorder recorder;
        // With a selection these would open their file dialogs and wait.
        w.action(QStringLiteral("Save Protocol"))->trigger();
        w.action(QStringLiteral("Load Protocol"))->trigger();
        QVERIFY(recorder.messages.isEmpty());
        QCOMPARE(w.dataList()->Count(), 2);
    }

    void plotOpensOneWindowPerSelectedDataSet()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("a", 2, 10);
        TData* b = numberedData("b", 2, 10);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});
        w.action(QStringLiteral("2D Plot"))->trigger();
        QCOMPARE(w.mdiArea()->subWindowList().size(), 2);

        // Double click on a node of the data list plots that data set.
        emit w.dataList()->dataActivated(a);
        QCOMPARE(w.mdiArea()->subWindowList().size(), 3);
    }

    void plotWindowPcaUsesTheSolverChosenInTheOptions()
    {
        MainWindow w(settingsFile());
        TData* d = TData::Create("pca", 3, 200);
        for (int e = 0; e < 200; ++e) {
            const double t = e - 100.0;
            d->data[e][0] = t;
            d->data[e][1] = 2 * t + (e % 7);
            d->data[e][2] = -t + (e % 5);
        }
        w.dataList()->Add(d);
        emit w.dataList()->dataActivated(d);
        auto* plot = w.mdiArea()->findChild<ScatterPlotWindow*>();
        QVERIFY(plot);
        for (const auto algorithm : {OptionsDialog::PcaAlgorithm::Jacobi, OptionsDialog::PcaAlgorithm::QL}) {
            w.options()->AlgorithmJacobi->setChecked(algorithm == OptionsDialog::PcaAlgorithm::Jacobi);
            w.options()->AlgorithmQL->setChecked(algorithm == OptionsDialog::PcaAlgorithm::QL);
            plot->Control->SelectAll->click();
            plot->Control->PCAbtn->click();
            QVERIFY(plot->fpca);
            QCOMPARE(plot->fpca->algorithm,
                     algorithm == OptionsDialog::PcaAlgorithm::Jacobi ? int(TPca::Jacobi) : int(TPca::QL));
        }
    }

    void childAnnouncedByAWindowAppearsInTheDockedDataList()
    {
        MainWindow w(settingsFile());
        w.show();
        TData* root = numberedData("root", 2, 10);
        w.dataList()->Add(root);
        TData* kid = childOf(root, "Gate_1", 0, 4);
        TData::Workspace->Add(kid);
        kid->Announce();
        QTRY_VERIFY(w.dataList()->NodeOf(kid));
        QCOMPARE(w.dataList()->NodeOf(kid)->parent(), w.dataList()->NodeOf(root));
    }

    void plotWithoutSelectionAsksAndOpensAnEmptyPlot()
    {
        MainWindow w(settingsFile());
        w.dataList()->Add(numberedData("a", 2, 10));
        w.dataList()->Add(numberedData("b", 2, 10));
        MessageRecorder recorder;
        w.action(QStringLiteral("2D Plot"))->trigger();
        QCOMPARE(recorder.messages, QStringList({QStringLiteral("Please select at least one data file!")}));
        QCOMPARE(w.mdiArea()->subWindowList().size(), 1);
    }
};

int runMenuCommandsTests(int argc, char** argv)
{
    MenuCommandsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "MenuCommandsTest.moc"
