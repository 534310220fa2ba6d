// The combination window and the reconciliation dialog, offscreen, driven as
// a user drives them: Tools > Combine on gated data sets, and Tools > Join
// on data sets whose parameters differ, answered in the dialog by a double
// click on a header (rename), a header dragged to a new place, and "OK".
#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "UiTestHelpers.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "ui/analysis/CombinationWindow.h"
#include "ui/analysis/CombineCommands.h"
#include "ui/analysis/ReconcileDialog.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// Runs f on the modal dialog of type D as soon as it is shown (polling, so
// that it works whichever event loop opens the dialog).
template <class D>
void whenShown(std::function<void(D*)> f)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(d);
        }
    });
    timer->start();
}

// A left-button drag inside a widget, with the button held on every move.
void drag(QWidget* w, QPoint from, QPoint to)
{
    auto send = [w](QEvent::Type type, QPoint p, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    const int steps = 10;
    for (int i = 1; i <= steps; ++i) send(QEvent::MouseMove, from + (to - from) * i / steps, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

QPoint sectionCentre(QHeaderView* h, int logical)
{
    return QPoint(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
}

std::vector<std::string> names(const TData& d)
{
    std::vector<std::string> out;
    for (const auto& p : d.Desc()) out.push_back(p.name);
    return out;
}

TData* subsetKid(TData* parent, const std::string& name, std::vector<int> events)
{
    TGate g(TGateType::gtSubset, TIntVector(events.begin(), events.end()));
    g.name = name;
    return TData::Gated(parent, &g);
}

}  // namespace

class CombineWindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void menuEntriesAreBuilt()
    {
        MainWindow w(settingsFile());
        QVERIFY(w.action(QStringLiteral("Combine"))->isEnabled());
        QVERIFY(w.action(QStringLiteral("Combine"))->isVisible());
        QVERIFY(w.action(QStringLiteral("Join"))->isEnabled());
    }

    // A: (FL1, FL2); B: (FL3, FL1). The dialog shows FL1, FL2, FL3 with B's
    // FL2 and A's FL3 red. FL3 is renamed FL2 by a double click, FL2 is
    // dragged before FL1, "OK": the joined data set has (FL2, FL1) and every
    // value under its own name; B keeps its column order.
    void joinAsksRenameDragOk()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* a = numberedData("A", 2, 3);
        a->Desc()[0].name = "FL1";
        a->Desc()[1].name = "FL2";
        TData* b = numberedData("B", 2, 4);
        b->Desc()[0].name = "FL3";
        b->Desc()[1].name = "FL1";
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});

        bool shown = false;
        QString redBeforeRename;
        whenShown<ReconcileDialog>([&](ReconcileDialog* dlg) {
            shown = true;
            QTableWidget* g = dlg->Grid;
            QHeaderView* h = g->horizontalHeader();
            QCOMPARE(g->columnCount(), 3);
            QCOMPARE(g->horizontalHeaderItem(2)->text(), QStringLiteral("FL3"));
            QCOMPARE(g->item(0, 2)->text(), QString());
            QCOMPARE(g->item(0, 2)->background().color(), QColor(255, 0, 0));
            QCOMPARE(g->item(1, 1)->background().color(), QColor(255, 0, 0));
            QCOMPARE(g->item(1, 2)->text(), QStringLiteral("+"));

            whenShown<QInputDialog>([](QInputDialog* in) {
                QCOMPARE(in->windowTitle(), QStringLiteral("New Name"));
                QCOMPARE(in->labelText(), QStringLiteral("Enter new name"));
                QCOMPARE(in->textValue(), QStringLiteral("FL3"));
                in->setTextValue(QStringLiteral("FL2"));
                in->accept();
            });
            QTest::mouseDClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, sectionCentre(h, 2));
            QCOMPARE(g->columnCount(), 2);
            QCOMPARE(g->item(1, 1)->text(), QStringLiteral("+"));

            // FL2 (second on screen) dragged onto the left part of FL1.
            drag(h->viewport(), sectionCentre(h, 1), QPoint(h->sectionViewportPosition(0) + 3, h->height() / 2));
            QCOMPARE(h->logicalIndex(0), 1);
            QTest::mouseClick(dlg->OK, Qt::LeftButton);
        });
        w.action(QStringLiteral("Join"))->trigger();
        QVERIFY(shown);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('\n')));
        QCOMPARE(w.dataList()->Count(), 3);
        TData* j = a->Parent();
        QVERIFY(j);
        QCOMPARE(j->ShortName(), std::string("A+B"));
        QCOMPARE(names(*j), (std::vector<std::string>{"FL2", "FL1"}));
        for (int e = 0; e < 3; ++e) {
            QCOMPARE(j->data[e][0], a->data[e][1]);
            QCOMPARE(j->data[e][1], a->data[e][0]);
        }
        for (int e = 0; e < 4; ++e) {
            QCOMPARE(j->data[3 + e][0], b->data[e][0]);  // the former FL3
            QCOMPARE(j->data[3 + e][1], b->data[e][1]);
        }
        QCOMPARE(names(*b), (std::vector<std::string>{"FL2", "FL1"}));
    }

    void cancelJoinsNothing()
    {
        MainWindow w(settingsFile());
        TData* a = numberedData("A", 2, 3);
        TData* b = numberedData("B", 1, 3);
        w.dataList()->Add(a);
        w.dataList()->Add(b);
        w.dataList()->SelectData({a, b});
        bool shown = false;
        whenShown<ReconcileDialog>([&](ReconcileDialog* dlg) {
            shown = true;
            QTest::mouseClick(dlg->Cancel, Qt::LeftButton);
        });
        w.action(QStringLiteral("Join"))->trigger();
        QVERIFY(shown);
        QCOMPARE(w.dataList()->Count(), 2);
        QCOMPARE(a->Parent(), nullptr);
        QCOMPARE(b->CaseSize(), 1);
    }

    // Two samples gated A, B (the second in the other order) and one with a
    // gate too few: the table, the refusal, and the table as a data set.
    void combineWindowTable()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        TData* s1 = numberedData("S1", 1, 10);
        w.dataList()->Add(s1);
        w.dataList()->Add(subsetKid(s1, "A", {9, 1, 8, 3}));
        w.dataList()->Add(subsetKid(s1, "B", {7, 2, 3, 9, 8}));
        TData* s2 = numberedData("S2", 1, 4);
        w.dataList()->Add(s2);
        w.dataList()->Add(subsetKid(s2, "B", {0}));
        w.dataList()->Add(subsetKid(s2, "A", {0, 1}));
        TData* s3 = numberedData("S3", 1, 4);
        w.dataList()->Add(s3);
        w.dataList()->Add(subsetKid(s3, "A", {0}));

        w.dataList()->MakeCurrent(s1);
        w.action(QStringLiteral("Combine"))->trigger();
        CombinationWindow* c = CombineCommands::LastCombination(w);
        QVERIFY(c);
        QCOMPARE(c->windowTitle(), QStringLiteral("Table"));
        QAbstractItemModel* m = c->Grid->model();
        QCOMPARE(m->rowCount(), 4);
        QCOMPARE(m->columnCount(), 3);
        QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
        QCOMPARE(m->headerData(2, Qt::Horizontal).toString(), QStringLiteral("S1"));
        const char* signs[4][2] = {{"-", "-"}, {"-", "+"}, {"+", "-"}, {"+", "+"}};
        const char* percent[4] = {"40", "20", "10", "30"};
        for (int r = 0; r < 4; ++r) {
            QCOMPARE(m->index(r, 0).data().toString(), QString::fromLatin1(signs[r][0]));
            QCOMPARE(m->index(r, 1).data().toString(), QString::fromLatin1(signs[r][1]));
            QCOMPARE(m->index(r, 2).data().toString(), QString::fromLatin1(percent[r]));
        }

        w.dataList()->SelectData({s2, s3});
        w.action(QStringLiteral("Combine"))->trigger();
        QCOMPARE(CombineCommands::LastCombination(w), c);
        QCOMPARE(w.mdiArea()->subWindowList().size(), 1);
        QCOMPARE(m->columnCount(), 4);
        QCOMPARE(m->index(3, 3).data().toString(), QStringLiteral("25"));  // event 0 in A and B
        QCOMPARE(m->index(2, 3).data().toString(), QStringLiteral("25"));  // event 1 only in A
        QCOMPARE(messages.messages, QStringList{QStringLiteral("Number of gates differs")});

        const int before = w.dataList()->Count();
        c->CreateDataSet(QStringLiteral("noname"));
        QCOMPARE(w.dataList()->Count(), before + 1);
        TData* t = w.dataList()->GetItem(before);
        QCOMPARE(t->ShortName(), std::string("noname"));
        QCOMPARE(names(*t), (std::vector<std::string>{"--", "-+", "+-", "++"}));
        QCOMPARE(t->events(), 2);
        QCOMPARE(t->data[0][1], 20.0);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvalaCombineTests"));
    // The user's data folder of this run is a temporary one.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    CombineWindowsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "CombineWindowsTest.moc"
