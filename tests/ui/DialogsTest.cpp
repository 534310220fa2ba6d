// The workspace dialogs: channel check lists and their settings, options, levels, progress.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestHelpers.h"
#include "ui/analysis/SelectChannelsDialog.h"
#include "ui/common/DiscriminationDialog.h"
#include "ui/common/IniFile.h"
#include "ui/common/ProgressWindow.h"
#include "ui/workspace/DeleteChannelsDialog.h"
#include "ui/workspace/OptionsDialog.h"
#include "ui/workspace/SaveTextOptionsDialog.h"

using namespace orvala;
using namespace orvala::testing;

class DialogsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    int fileNo_ = 0;
    QString freshSettings() { return dir_.filePath(QStringLiteral("s%1.ini").arg(++fileNo_)); }

private slots:
    void selectChannelsStartsFromTheSettingsAndReturnsTheCheckedRows()
    {
        IniFile ini(freshSettings());
        ini.WriteBool(QStringLiteral("SelectedPars"), QStringLiteral("CH1"), true);
        DataRef d(numberedData("d", 4, 1));
        SelectChannelsDialog dlg(d.get(), &ini);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Select channels"));
        QCOMPARE(dlg.RowCount(), 4);
        QCOMPARE(dlg.CheckedRows(), (std::vector<int>{1}));
        dlg.SetChecked(3, true);
        dlg.accept();
        QVERIFY(dlg.Result().has_value());
        QCOMPARE(*dlg.Result(), (std::vector<int>{1, 3}));
        QCOMPARE(ini.ReadBool(QStringLiteral("SelectedPars"), QStringLiteral("CH3"), false), true);
        QCOMPARE(ini.ReadBool(QStringLiteral("SelectedPars"), QStringLiteral("CH0"), true), false);
    }

    void selectChannelsWithEveryRowCheckedReturnsNoList()
    {
        IniFile ini(freshSettings());
        DataRef d(numberedData("d", 3, 1));
        SelectChannelsDialog dlg(d.get(), &ini);
        dlg.AllBox()->click();
        QCOMPARE(dlg.CheckedRows(), (std::vector<int>{0, 1, 2}));
        dlg.accept();
        QVERIFY(!dlg.Result().has_value());
        QVERIFY(!ini.ValueExists(QStringLiteral("SelectedPars"), QStringLiteral("CH0")));

        SelectChannelsDialog none(d.get(), &ini);
        none.accept();
        QVERIFY(none.Result().has_value());
        QVERIFY(none.Result()->empty());
    }

    void deleteChannelsActsOnlyOnAProperSubset_data()
    {
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<QList<int>>("kept");
        QTest::addColumn<bool>("stored");
        QTest::newRow("none checked") << QList<int>{} << QList<int>{} << false;
        QTest::newRow("all checked") << QList<int>{0, 1, 2, 3} << QList<int>{} << false;
        QTest::newRow("two of four") << QList<int>{2, 0} << QList<int>{1, 3} << true;
        QTest::newRow("last only") << QList<int>{3} << QList<int>{0, 1, 2} << true;
    }

    void deleteChannelsActsOnlyOnAProperSubset()
    {
        QFETCH(QList<int>, checked);
        QFETCH(QList<int>, kept);
        QFETCH(bool, stored);
        IniFile ini(freshSettings());
        DataRef d(numberedData("d", 4, 1));
        DeleteChannelsDialog dlg(d.get(), &ini);
        for (int r : checked) dlg.SetChecked(r, true);
        dlg.accept();
        QCOMPARE(QList<int>(dlg.KeptChannels().begin(), dlg.KeptChannels().end()), kept);
        QCOMPARE(ini.SectionExists(QStringLiteral("DeletePars")), stored);
    }

    void optionsReadTheEventLimitAndAlgorithm()
    {
        IniFile ini(freshSettings());
        OptionsDialog dlg(&ini);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Options"));
        QVERIFY(!dlg.EventLimit().has_value());
        QVERIFY(!dlg.EventLimitEdit->isEnabled());
        dlg.LimitEvents->setChecked(true);
        QVERIFY(dlg.EventLimitEdit->isEnabled());
        QCOMPARE(dlg.EventLimit().value_or(-1), 10000);
        dlg.EventLimitEdit->setText(QStringLiteral("-250"));
        QCOMPARE(dlg.EventLimit().value_or(-1), 250);
        QVERIFY(dlg.Algorithm() == OptionsDialog::PcaAlgorithm::QL);
        dlg.AlgorithmJacobi->setChecked(true);
        QVERIFY(dlg.Algorithm() == OptionsDialog::PcaAlgorithm::Jacobi);
    }

    void discriminationLevelReadsDotDecimals()
    {
        DiscriminationDialog dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Discrimination Level"));
        dlg.Edit()->setText(QStringLiteral("12.5"));
        QCOMPARE(dlg.Level(), 12.5);
        dlg.Edit()->setText(QStringLiteral("12,5"));
        QVERIFY_THROWS_EXCEPTION(OrvalaError, dlg.Level());
    }

    void saveTextOptionsDefaultToAsIs()
    {
        SaveTextOptionsDialog dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Save As TXT options"));
        QCOMPARE(dlg.ItemIndex(), 0);
        dlg.setItemIndex(1);
        QCOMPARE(dlg.ItemIndex(), 1);
    }

    void progressStopSetsCancelledUntilShownAgain()
    {
        ProgressWindow prog;
        int cancels = 0;
        prog.OnCancel = [&] { ++cancels; };
        prog.SetMinMax(0, 10);
        prog.setPosition(4);
        QCOMPARE(prog.Position(), 4);
        prog.show();
        QVERIFY(!prog.Cancelled());
        QTest::mouseClick(prog.Stop, Qt::LeftButton);
        QVERIFY(prog.Cancelled());
        QCOMPARE(cancels, 1);
        prog.hide();
        prog.show();
        QVERIFY(!prog.Cancelled());
    }
};

int runDialogsTests(int argc, char** argv)
{
    DialogsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "DialogsTest.moc"
