// Workspaces and name-matched protocols through the main window: real FCS
// files written by the test, gated, saved, moved and opened again.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "FcsFixtureWriter.h"
#include "UiTestHelpers.h"
#include "core/Stream.h"
#include "core/TGate.h"
#include "ui/common/DataListWindow.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/PlotWindow.h"
#include "ui/plot/ScatterPlotWindow.h"
#include "ui/workspace/DataSetCommands.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// Events of unrelated values per parameter; columns lists which pattern each
// column of the file holds, so a file can hold the same events in another order.
fixtures::FcsDataSet patterned(const std::vector<std::string>& names, const std::vector<int>& columns, int events)
{
    fixtures::FcsDataSet d;
    for (const auto& n : names) d.parameters.push_back({n, "", 1024});
    for (int e = 0; e < events; ++e)
        for (int c : columns) d.values.push_back(float((e * (c + 3) * 7919 + c * 131) % 1000));
    return d;
}

TData* square(DataListWindow* box, TData* parent, int cx, int cy, double lo, double hi, const char* name)
{
    TVector x(size_t(parent->CaseSize()), 0.0), y(size_t(parent->CaseSize()), 0.0);
    x[size_t(cx)] = 1;
    y[size_t(cy)] = 1;
    TGate g(x, y, TVector{lo, hi, hi, lo, lo}, TVector{lo, lo, hi, hi, lo});
    g.name = name;
    TData* d = TData::Gated(parent, &g);
    box->Add(d);
    return d;
}

TData* rootNamed(DataListWindow* box, const std::string& name)
{
    for (int i = 0; i < box->Count(); ++i)
        if (!box->GetItem(i)->Parent() && box->GetItem(i)->ScreenName() == name) return box->GetItem(i);
    return nullptr;
}

// Full name -> events of every data set in the data list.
std::map<std::string, int> counts(DataListWindow* box)
{
    std::map<std::string, int> out;
    for (int i = 0; i < box->Count(); ++i) out[box->GetItem(i)->FullName()] = box->GetItem(i)->events();
    return out;
}

std::map<std::string, int> offspringCounts(const TData* d)
{
    std::map<std::string, int> out;
    for (const TData* o : d->Offspring()) out[o->FullName().substr(o->Grandpa()->ShortName().size())] = o->events();
    return out;
}

}  // namespace

class WorkspaceWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void init() { QFile::remove(settingsFile()); }

    void workspaceMovedWithItsFilesReopensTheSession()
    {
        const QString session = dir_.filePath(QStringLiteral("session"));
        QVERIFY(QDir().mkpath(session));
        const QString a = session + QStringLiteral("/a.fcs"), b = session + QStringLiteral("/b.fcs");
        QVERIFY(fixtures::writeFcs30(toEightBit(a), {patterned({"FSC-A", "SSC-A", "FL1-A"}, {0, 1, 2}, 500)}));
        QVERIFY(fixtures::writeFcs30(toEightBit(b), {patterned({"FSC-A", "SSC-A"}, {1, 0}, 300)}));
        const QString workspace = session + QStringLiteral("/w.orw");
        std::map<std::string, int> saved;
        PlotWindowState window;
        {
            MainWindow w(settingsFile());
            w.openFiles({a, b});
            TData* ra = rootNamed(w.dataList(), "a");
            TData* rb = rootNamed(w.dataList(), "b");
            QVERIFY(ra && rb);
            TData* A = square(w.dataList(), ra, 0, 1, 100, 700, "A");
            TData* A1 = square(w.dataList(), A, 2, 0, 200, 900, "A1");
            square(w.dataList(), rb, 0, 1, 0, 400, "B");
            QVERIFY(A1->events() > 0 && A1->events() < A->events());
            QWidget* plot = w.openPlot(A1);
            auto* form = qobject_cast<ScatterPlotWindow*>(qobject_cast<QMdiSubWindow*>(plot)->widget());
            QVERIFY(form);
            form->SetXY(2, 1);
            form->Control->ylin->setChecked(true);
            form->DrawData();
            window = plotWindowState(plot);
            QCOMPARE(window.scatter.x, std::vector<int>({2}));
            QVERIFY(window.scatter.yLinToLog);
            QVERIFY(w.hasUnsavedGates());
            saved = counts(w.dataList());
            QVERIFY(w.saveWorkspace(workspace).empty());
            QVERIFY(!w.hasUnsavedGates());
            int asked = 0;
            w.unsavedGatesQuestion = [&] { return ++asked, int(QMessageBox::Cancel); };
            QVERIFY(w.closeWorkspace());
            QCOMPARE(asked, 0);
            QCOMPARE(w.dataList()->Count(), 0);
        }

        const QString moved = dir_.filePath(QStringLiteral("moved"));
        QVERIFY(QDir().rename(session, moved));
        MainWindow w(settingsFile());
        MessageRecorder recorder;
        QVERIFY(runCommand([&] { QVERIFY(w.openWorkspace(moved + QStringLiteral("/w.orw"))); }));
        QCOMPARE(recorder.messages, QStringList());
        QCOMPARE(counts(w.dataList()), saved);
        QCOMPARE(w.dataList()->List->topLevelItemCount(), 2);
        const QList<QMdiSubWindow*> subs = w.mdiArea()->subWindowList();
        QCOMPARE(subs.size(), 1);
        QCOMPARE(plotWindowData(subs[0])->FullName(), std::string("a_A1"));
        QCOMPARE(plotWindowState(subs[0]), window);
        QCOMPARE(QString::fromStdString(rootNamed(w.dataList(), "a")->FileName()), moved + QStringLiteral("/a.fcs"));
        QVERIFY(!w.hasUnsavedGates());
    }

    void unsavedGatesAreAskedAboutBeforeExitAndClose()
    {
        MainWindow w(settingsFile());
        w.show();
        TData* root = numberedData("r", 2, 20);
        w.dataList()->Add(root);
        QVERIFY(!w.hasUnsavedGates());
        square(w.dataList(), root, 0, 1, -1, 900, "G");
        QVERIFY(w.hasUnsavedGates());
        int asked = 0;
        int answer = QMessageBox::Cancel;
        w.unsavedGatesQuestion = [&] { return ++asked, answer; };

        w.action(QStringLiteral("Exit"))->trigger();
        QCOMPARE(asked, 1);
        QVERIFY(w.isVisible());
        QVERIFY(!w.closeWorkspace());
        QCOMPARE(asked, 2);
        QCOMPARE(w.dataList()->Count(), 2);

        // Save goes to the workspace file last used, then the close goes on.
        const QString file = dir_.filePath(QStringLiteral("asked.orw"));
        w.saveWorkspace(file);
        square(w.dataList(), root, 0, 1, -1, 300, "H");
        answer = QMessageBox::Save;
        QVERIFY(w.closeWorkspace());
        QCOMPARE(asked, 3);
        QCOMPARE(w.dataList()->Count(), 0);
        QVERIFY(QFile::exists(file));

        w.dataList()->Add(numberedData("s", 2, 20));
        square(w.dataList(), w.dataList()->GetItem(0), 0, 1, -1, 900, "G");
        answer = QMessageBox::Discard;
        w.action(QStringLiteral("Close Workspace"))->trigger();
        QCOMPARE(asked, 4);
        QCOMPARE(w.dataList()->Count(), 0);
        // Nothing left to lose: Exit closes without asking.
        w.action(QStringLiteral("Exit"))->trigger();
        QCOMPARE(asked, 4);
        QVERIFY(!w.isVisible());
    }

    void badWorkspacesLeaveTheSessionOrNameWhatIsMissing()
    {
        const QString session = dir_.filePath(QStringLiteral("bad"));
        QVERIFY(QDir().mkpath(session));
        const QString a = session + QStringLiteral("/a.fcs"), b = session + QStringLiteral("/b.fcs");
        QVERIFY(fixtures::writeFcs30(toEightBit(a), {patterned({"FSC-A", "SSC-A"}, {0, 1}, 100)}));
        QVERIFY(fixtures::writeFcs30(toEightBit(b), {patterned({"FSC-A", "SSC-A"}, {1, 0}, 100)}));
        const QString workspace = session + QStringLiteral("/w.orw");
        {
            MainWindow w(settingsFile());
            w.openFiles({a, b});
            square(w.dataList(), rootNamed(w.dataList(), "a"), 0, 1, 0, 500, "A");
            w.saveWorkspace(workspace);
        }
        QFile f(workspace);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        f.close();
        const QString cut = session + QStringLiteral("/cut.orw");
        QFile c(cut);
        QVERIFY(c.open(QIODevice::WriteOnly));
        c.write(text.left(text.size() / 2));
        c.close();

        MainWindow w(settingsFile());
        TData* mine = numberedData("mine", 2, 10);
        w.dataList()->Add(mine);
        square(w.dataList(), mine, 0, 1, -1, 500, "G");
        int asked = 0;
        w.unsavedGatesQuestion = [&] { return ++asked, int(QMessageBox::Discard); };
        MessageRecorder recorder;
        QVERIFY(!runCommand([&] { w.openWorkspace(cut); }));
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].startsWith(QStringLiteral("Workspace file ") + cut + QStringLiteral(" is damaged")));
        QCOMPARE(asked, 0);
        QCOMPARE(w.dataList()->Count(), 2);

        QVERIFY(QFile::remove(b));
        recorder.messages.clear();
        QVERIFY(runCommand([&] { w.openWorkspace(workspace); }));
        QCOMPARE(asked, 1);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].contains(QStringLiteral("opened only in part")));
        QVERIFY(recorder.messages[0].contains(b));
        QCOMPARE(w.dataList()->Count(), 2);
        QVERIFY(rootNamed(w.dataList(), "a"));
        QVERIFY(rootNamed(w.dataList(), "a")->GetKidByName("A"));
        // Saving what was opened in part must not quietly replace the whole file.
        QVERIFY(w.workspaceFile().isEmpty());
    }

    void protocolsReplayByNameAndVersionOneStillReplays()
    {
        const QString a = dir_.filePath(QStringLiteral("pa.fcs")), shuffled = dir_.filePath(QStringLiteral("pc.fcs"));
        QVERIFY(fixtures::writeFcs30(toEightBit(a), {patterned({"FSC-A", "SSC-A", "FL1-A"}, {0, 1, 2}, 600)}));
        // The same events with the parameters in another order.
        QVERIFY(fixtures::writeFcs30(toEightBit(shuffled), {patterned({"FL1-A", "FSC-A", "SSC-A"}, {2, 0, 1}, 600)}));
        MainWindow w(settingsFile());
        w.openFiles({a, shuffled});
        TData* ra = rootNamed(w.dataList(), "pa");
        TData* rc = rootNamed(w.dataList(), "pc");
        QVERIFY(ra && rc);
        TData* A = square(w.dataList(), ra, 2, 1, 100, 800, "A");
        square(w.dataList(), A, 0, 2, 300, 900, "A1");
        square(w.dataList(), ra, 0, 1, 0, 500, "B");
        const auto expected = offspringCounts(ra);
        const QString protocol = dir_.filePath(QStringLiteral("p.orp"));
        DataSetCommands::SaveProtocol(*ra, protocol);

        MessageRecorder recorder;
        QCOMPARE(int(DataSetCommands::LoadProtocol(w, *rc, protocol).size()), 3);
        QCOMPARE(offspringCounts(rc), expected);

        // The same records as version 1 (no names) replay by position, as before.
        QFile pf(protocol);
        QVERIFY(pf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pf.readAll();
        MemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        s.skip(8);
        const int32_t names = ReadInt(s);
        for (int i = 0; i < names; ++i) ReadString(s);
        const QString v1 = dir_.filePath(QStringLiteral("v1.orp"));
        QFile out(v1);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes.left(4) + QByteArray("\x01\0\0\0", 4) + bytes.mid(int(s.position())));
        out.close();
        w.openFiles({a});
        TData* again = nullptr;
        for (int i = 0; i < w.dataList()->Count(); ++i)
            if (w.dataList()->GetItem(i) != ra && w.dataList()->GetItem(i)->ShortName() == "pa")
                again = w.dataList()->GetItem(i);
        QVERIFY(again);
        QCOMPARE(int(DataSetCommands::LoadProtocol(w, *again, v1).size()), 3);
        QCOMPARE(offspringCounts(again), expected);
        QCOMPARE(recorder.messages, QStringList());
    }
};

int runWorkspaceWindowTests(int argc, char** argv)
{
    WorkspaceWindowTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "WorkspaceWindowTest.moc"
