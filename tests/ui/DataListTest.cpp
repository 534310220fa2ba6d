// The data list: tree building, selection rules, the value grid, removal and AskSelect.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "UiTestHelpers.h"
#include "ui/common/DataEvents.h"
#include "ui/common/DataListWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

void clickNode(DataListWindow& box, const TData* data, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton)
{
    QTreeWidgetItem* node = box.NodeOf(data);
    QVERIFY2(node, "no node for the data set");
    const QRect r = box.List->visualItemRect(node);
    QTest::mouseClick(box.List->viewport(), button, modifiers, r.center());
}

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

}  // namespace

class DataListTest : public QObject {
    Q_OBJECT
private slots:
    void treeFollowsParentsWhateverTheListOrder()
    {
        DataListWindow box;
        TData* root = numberedData("root", 2, 10);
        TData* kid = childOf(root, "kid", 0, 5);
        TData* grandkid = childOf(kid, "grandkid", 0, 2);
        // Kids before parents in the list: the passes still place them.
        box.datas.Add(grandkid);
        box.datas.Add(kid);
        box.Add(root);
        QCOMPARE(box.List->topLevelItemCount(), 1);
        QTreeWidgetItem* top = box.List->topLevelItem(0);
        QCOMPARE(top->text(0), QStringLiteral("root"));
        QCOMPARE(childTexts(top), QStringList{QStringLiteral("kid")});
        QCOMPARE(childTexts(top->child(0)), QStringList{QStringLiteral("grandkid")});
        QVERIFY(top->child(0)->isExpanded());
    }

    void valueGridShowsPercentageOfTheRoot()
    {
        DataListWindow box;
        box.resize(300, 500);
        box.show();
        TData* root = numberedData("tube", 4, 1000);
        root->setFileName("/data/tube.fcs");
        TData* gated = childOf(root, "Gate_1", 100, 250);
        box.Add(root);
        box.Add(gated);
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        clickNode(box, gated);
        QCOMPARE(box.Currentnode, box.NodeOf(gated));
        QCOMPARE(box.Value(QStringLiteral("Percentage")), QStringLiteral("25.0%"));
        QCOMPARE(box.Value(QStringLiteral("Events")), QStringLiteral("250"));
        QCOMPARE(box.Value(QStringLiteral("Params")), QStringLiteral("4"));
        QCOMPARE(box.Value(QStringLiteral("File Path")), QStringLiteral("/data/tube_Gate_1.fcs"));

        clickNode(box, root);
        QCOMPARE(box.Value(QStringLiteral("Percentage")), QStringLiteral("100.0%"));
    }

    void percentageHasOneDecimalRoundedToEven_data()
    {
        QTest::addColumn<int>("rootEvents");
        QTest::addColumn<int>("kidEvents");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a third") << 3 << 1 << QStringLiteral("33.3%");
        QTest::newRow("two thirds") << 3 << 2 << QStringLiteral("66.7%");
        QTest::newRow("exact tie goes to even") << 400 << 49 << QStringLiteral("12.2%");
        QTest::newRow("none") << 10 << 0 << QStringLiteral("0.0%");
        QTest::newRow("empty root") << 0 << 0 << QStringLiteral("0.0%");
    }

    void percentageHasOneDecimalRoundedToEven()
    {
        QFETCH(int, rootEvents);
        QFETCH(int, kidEvents);
        QFETCH(QString, shown);
        DataRef root(numberedData("r", 1, rootEvents));
        DataRef kid(childOf(root.get(), "k", 0, kidEvents));
        QCOMPARE(DataListWindow::Percentage(kid.get()), shown);
    }

    void selectionIsSiblingsOnlyAndKeepsItsOrder()
    {
        DataListWindow box;
        box.resize(300, 500);
        box.show();
        TData* a = numberedData("a", 2, 10);
        TData* b = numberedData("b", 2, 10);
        TData* c = numberedData("c", 2, 10);
        TData* akid = childOf(a, "akid", 0, 3);
        for (TData* d : {a, b, c, akid}) box.Add(d);
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        clickNode(box, c);
        clickNode(box, a, Qt::ControlModifier);
        QCOMPARE(box.SelectionCount(), 2);
        QCOMPARE(box.GetSelected(0), c);
        QCOMPARE(box.GetSelected(1), a);

        // A node under another parent starts over.
        clickNode(box, akid, Qt::ControlModifier);
        QCOMPARE(box.SelectionCount(), 1);
        QCOMPARE(box.GetSelected(0), akid);

        // A rebuild keeps the selection of data sets that are still there.
        box.Add(numberedData("d", 2, 1));
        QCOMPARE(box.SelectionCount(), 1);
        QCOMPARE(box.GetSelected(0), akid);

        // Shift selects the run of siblings between the anchor and the press.
        clickNode(box, a);
        clickNode(box, c, Qt::ShiftModifier);
        QCOMPARE(box.SelectionCount(), 3);

        // A plain press starts a new selection; a right press selects too.
        clickNode(box, b, Qt::NoModifier, Qt::RightButton);
        QCOMPARE(box.SelectionCount(), 1);
        QCOMPARE(box.GetSelected(0), b);
        QCOMPARE(box.Currentnode, box.NodeOf(b));
        box.PopupMenu->close();
    }

    void removingARootWithAllDescendantsRemovesTheSubtree()
    {
        DataListWindow box;
        TData* root = numberedData("root", 2, 100);
        TData* other = numberedData("other", 2, 10);
        TData* kid = childOf(root, "kid", 0, 50);
        TData* grandkid = childOf(kid, "grandkid", 0, 20);
        TData* kid2 = childOf(root, "kid2", 50, 10);
        for (TData* d : {root, other, kid, grandkid, kid2}) box.Add(d);
        DataRef watchRoot(root), watchGrandkid(grandkid);
        // The mouse selects siblings only; the command itself takes any selection.
        for (TData* d : {root, kid, grandkid, kid2}) box.NodeOf(d)->setSelected(true);

        box.RemoveSelected();
        QCOMPARE(box.Count(), 1);
        QCOMPARE(box.GetItem(0), other);
        QVERIFY(watchRoot->Deleted());
        QVERIFY(watchGrandkid->Deleted());
        QCOMPARE(box.List->topLevelItemCount(), 1);
        QCOMPARE(box.List->topLevelItem(0)->text(0), QStringLiteral("other"));
    }

    void removingAMiddleNodeReattachesItsKids()
    {
        DataListWindow box;
        TData* root = numberedData("root", 2, 100);
        TData* middle = childOf(root, "middle", 10, 50);  // root events 10..59
        TData* leaf = childOf(middle, "leaf", 5, 3);       // middle events 5..7 = root 15..17
        for (TData* d : {root, middle, leaf}) box.Add(d);
        box.SelectData({middle});

        box.RemoveSelected();
        QCOMPARE(box.SelectionCount(), 0);
        QCOMPARE(box.Count(), 2);
        QCOMPARE(leaf->Parent(), root);
        QCOMPARE(leaf->link, (TIntVector{15, 16, 17}));
        QCOMPARE(leaf->data[0][0], 1500.0);
        QTreeWidgetItem* top = box.List->topLevelItem(0);
        QCOMPARE(childTexts(top), QStringList{QStringLiteral("leaf")});
    }

    void removingASelectedRootAloneMakesItsKidsRoots()
    {
        DataListWindow box;
        TData* root = numberedData("root", 2, 100);
        TData* kid = childOf(root, "kid", 0, 40);
        box.Add(root);
        box.Add(kid);
        box.SelectData({root});
        box.RemoveSelected();
        QCOMPARE(box.Count(), 1);
        QVERIFY(!kid->Parent());
        QCOMPARE(box.List->topLevelItem(0)->text(0), QString::fromStdString(kid->ScreenName()));
    }

    void askSelectTakesTheOnlyDataSetOrComplains()
    {
        MessageRecorder recorder;
        DataListWindow box;
        QVERIFY(!box.AskSelect());  // empty workspace
        TData* only = numberedData("only", 2, 5);
        box.Add(only);
        QVERIFY(box.AskSelect());
        QCOMPARE(box.SelectionCount(), 1);
        QCOMPARE(box.GetSelected(0), only);
        QCOMPARE(recorder.messages.size(), 1);

        box.Add(numberedData("second", 2, 5));
        box.SelectData({});
        QCOMPARE(box.SelectionCount(), 0);
        QVERIFY(!box.AskSelect());
        QCOMPARE(recorder.messages,
                 QStringList(2, QStringLiteral("Please select at least one data file!")));
        QCOMPARE(box.SelectionCount(), 0);

        box.SelectData({only});
        QVERIFY(box.AskSelect());
        QCOMPARE(recorder.messages.size(), 2);
    }

    void editingALabelRenamesTheDataSet()
    {
        DataListWindow box;
        TData* d = numberedData("before", 2, 5);
        box.Add(d);
        box.NodeOf(d)->setText(0, QStringLiteral("after"));
        QCOMPARE(d->ShortName(), std::string("after"));

        // The second data set of a file shows its number; leaving that text as
        // it is must not add the number to the name.
        TData* second = numberedData("file", 2, 5);
        second->datasetnum = 1;
        box.Add(second);
        QCOMPARE(box.NodeOf(second)->text(0), QStringLiteral("file_1"));
        box.NodeOf(second)->setText(0, QStringLiteral("file_1"));
        QCOMPARE(second->ShortName(), std::string("file"));
    }

    void aSecondClickEditsTheLabelAndADoubleClickDoesNot()
    {
        DataListWindow box;
        box.resize(300, 500);
        box.show();
        TData* d = numberedData("name", 2, 5);
        box.Add(d);
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QSignalSpy activated(&box, &DataListWindow::dataActivated);
        const QPoint at = box.List->visualItemRect(box.NodeOf(d)).center();

        QTest::mouseClick(box.List->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(box.List->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).value<TData*>(), d);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!box.List->isPersistentEditorOpen(box.NodeOf(d)) && !box.List->findChild<QLineEdit*>());

        QTest::mouseClick(box.List->viewport(), Qt::LeftButton, {}, at);
        QTRY_VERIFY(box.List->findChild<QLineEdit*>() && box.List->findChild<QLineEdit*>()->isVisible());
        QLineEdit* editor = box.List->findChild<QLineEdit*>();
        editor->setText(QStringLiteral("renamed"));
        // What the delegate does when the edit ends.
        emit box.List->itemDelegate()->commitData(editor);
        QCOMPARE(d->ShortName(), std::string("renamed"));
        QCOMPARE(box.NodeOf(d)->text(0), QStringLiteral("renamed"));
    }

    void disablingColourMarksTheSwatchAndAnnounces()
    {
        DataListWindow box;
        TData* root = numberedData("root", 2, 10);
        root->setNativeColor(0x0000FF);
        TData* kid = childOf(root, "kid", 0, 4);
        kid->setNativeColor(0x00FF00);
        box.Add(root);
        box.Add(kid);
        root->UpdateColors();
        const QImage before = box.NodeOf(kid)->icon(0).pixmap(16, 16).toImage();
        QCOMPARE(QColor(before.pixel(1, 1)), QColor(0, 255, 0));
        QCOMPARE(root->GetColor(0), TColor(0x00FF00));  // the kid's colour wins for its events

        box.SelectData({kid});
        const int modifiedBefore = root->Modified();
        box.UpdateColor->trigger();
        QVERIFY(kid->disablecolor);
        QVERIFY(root->Modified() > modifiedBefore);
        QCOMPARE(root->GetColor(0), TColor(0x0000FF));
        const QImage after = box.NodeOf(kid)->icon(0).pixmap(16, 16).toImage();
        QVERIFY(after != before);
        QCOMPARE(QColor(after.pixel(0, 15)), QColor(0, 255, 0));  // swatch still there under the mark

        box.EnableColor->trigger();
        QVERIFY(!kid->disablecolor);
        QCOMPARE(root->GetColor(0), TColor(0x00FF00));
    }

    void dataSetsAddedToTheWorkspaceAndAnnouncedGetTheirNodes()
    {
        // A plot window adds the child its gate made to the workspace and
        // announces it; the data list must show the child under its parent.
        DataListWindow box;  // the box's list is the workspace
        QCOMPARE(TData::Workspace, &box.datas);
        UiNotifier notifier;
        DataNotifier* previous = TData::Notifier;
        TData::Notifier = &notifier;
        TData* root = numberedData("root", 2, 10);
        box.Add(root);
        TData* kid = childOf(root, "Gate_1", 2, 5);
        TData::Workspace->Add(kid);
        kid->Announce();
        QTRY_VERIFY(box.NodeOf(kid));
        QCOMPARE(box.NodeOf(kid)->parent(), box.NodeOf(root));
        QCOMPARE(childTexts(box.NodeOf(root)), QStringList{QStringLiteral("Gate_1")});
        TData::Notifier = previous;
    }

    void announcementsReachFormsOncePerBurst()
    {
        struct Form : QWidget {
            int handled = 0;
            TData* last = nullptr;
            bool event(QEvent* e) override
            {
                if (e->type() == DataEvent::changedType()) {
                    dropQueuedDataEvents(this, WMDataChanged);
                    ++handled;
                    last = static_cast<DataEvent*>(e)->data();
                    return true;
                }
                return QWidget::event(e);
            }
        } form;
        UiNotifier notifier;
        DataNotifier* previous = TData::Notifier;
        TData::Notifier = &notifier;
        DataRef d(numberedData("d", 1, 1));
        d->Announce();
        d->Announce();
        d->Announce();
        QCOMPARE(form.handled, 0);  // posted: nothing runs before the command ends
        QTRY_COMPARE(form.handled, 1);
        QCOMPARE(form.last, d.get());
        TData::Notifier = previous;
    }
};

int runDataListTests(int argc, char** argv)
{
    DataListTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "DataListTest.moc"
