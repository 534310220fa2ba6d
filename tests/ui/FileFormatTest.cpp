// "File Format": its controls fill the text reader's layout, the main window
// asks it only for generic text tables, keeps its choices from one file to the
// next, and passes the event limit of the options to the readers.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "UiTestHelpers.h"
#include "core/TData.h"
#include "formats/ReadOptions.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/FileFormatDialog.h"
#include "ui/workspace/FileOpener.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/OptionsDialog.h"

using namespace orvala;
using namespace orvala::testing;

class FileFormatTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    int fileNo_ = 0;
    QString settingsFile() { return dir_.filePath(QStringLiteral("s%1.ini").arg(++fileNo_)); }
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    // Answers the next "File Format" dialog with answer (null: closes it).
    int asked_ = 0;
    void answer(std::function<void(FileFormatDialog&)> fill)
    {
        QTimer::singleShot(0, this, [this, fill] {
            auto* dlg = qobject_cast<FileFormatDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            ++asked_;
            if (!fill) {
                dlg->reject();
                return;
            }
            fill(*dlg);
            dlg->accept();
        });
    }

private slots:
    void init() { asked_ = 0; }

    void controlsFillTheLayout()
    {
        FileFormatDialog dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("File Format"));
        QCOMPARE(dlg.parnam->text(), QStringLiteral("Parameter names (First Row)"));
        QCOMPARE(dlg.evetnam->text(), QStringLiteral("Event names (First Colomn)"));
        TextFormat f = dlg.Format();
        QVERIFY(!f.parnam && !f.evetnam && !f.Space && f.Tab && !f.Comma && !f.Colon);
        QCOMPARE(f.Line, 1);
        QCOMPARE(dlg.Line->minimum(), 1);
        dlg.parnam->setChecked(true);
        dlg.Tab->setChecked(false);
        dlg.Comma->setChecked(true);
        dlg.Colon->setChecked(true);
        dlg.Line->setValue(4);
        f = dlg.Format();
        QVERIFY(f.parnam && !f.evetnam && !f.Space && !f.Tab && f.Comma && f.Colon);
        QCOMPARE(f.Line, 4);
    }

    void openAsksTheFormatOfGenericTextOnlyAndKeepsIt()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        const QString a = write(QStringLiteral("a.txt"), "A,B\r\n1,2\r\n3,4\r\n");
        const QString b = write(QStringLiteral("b.txt"), "X,Y\r\n5,6\r\n");
        answer([](FileFormatDialog& dlg) {
            dlg.parnam->setChecked(true);
            dlg.Tab->setChecked(false);
            dlg.Comma->setChecked(true);
        });
        w.openFiles({a});
        QCOMPARE(asked_, 1);
        QCOMPARE(w.dataList()->Count(), 1);
        TData* first = w.dataList()->GetItem(0);
        QCOMPARE(first->Desc()[1].name, std::string("B"));
        QCOMPARE(first->data[1][1], 4.0);

        // The next table is read with the same choices, left as they were.
        answer([](FileFormatDialog&) {});
        w.openFiles({b});
        QCOMPARE(asked_, 2);
        QCOMPARE(w.dataList()->Count(), 2);
        QCOMPARE(w.dataList()->GetItem(1)->Desc()[0].name, std::string("X"));

        // Closing the dialog opens nothing.
        answer(nullptr);
        w.openFiles({a});
        QCOMPARE(asked_, 3);
        QCOMPARE(w.dataList()->Count(), 2);
        QVERIFY(messages.messages.isEmpty());
    }

    void converterTextAndLogsOpenWithoutTheDialogUnderTheEventLimit()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        QByteArray conv = "iQSP Logfile to Textfile Converter\r\n";
        for (int line = 2; line < 20; ++line) conv += "x\r\n";
        conv += "a\tb\tc\td\te\tV\r\n";
        for (int e = 0; e < 30; ++e) conv += "0\t0\t0\t0\t0\t" + QByteArray::number(e) + "\r\n";
        const QString path = write(QStringLiteral("conv.txt"), conv);
        w.options()->LimitEvents->setChecked(true);
        w.options()->EventLimitEdit->setText(QStringLiteral("-12"));
        w.openFiles({path});
        QCOMPARE(asked_, 0);
        QCOMPARE(w.dataList()->Count(), 1);
        QCOMPARE(w.dataList()->GetItem(0)->events(), 12);
        // A limit that is not a number is no limit.
        w.options()->EventLimitEdit->setText(QStringLiteral("ten"));
        w.openFiles({path});
        QCOMPARE(w.dataList()->GetItem(1)->events(), 30);
        QVERIFY(messages.messages.isEmpty());
        setReadOptions({});
    }

    void aValueThatIsNoNumberIsShown()
    {
        MessageRecorder messages;
        MainWindow w(settingsFile());
        const QString path = write(QStringLiteral("bad.txt"), "1\t2\n3\tfour\n");
        answer([](FileFormatDialog& dlg) {
            dlg.parnam->setChecked(false);
            dlg.Comma->setChecked(false);
            dlg.Tab->setChecked(true);
        });
        w.openFiles({path});
        QCOMPARE(w.dataList()->Count(), 0);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].contains(QStringLiteral("line 2")), qPrintable(messages.messages[0]));
        setReadOptions({});
    }
};

int runFileFormatTests(int argc, char** argv)
{
    FileFormatTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "FileFormatTest.moc"
