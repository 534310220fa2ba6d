// Messages a user can act on: which file, what is wrong with it, never
// hidden behind a progress window.
#include <QApplication>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "UiTestHelpers.h"
#include "core/Messages.h"
#include "core/TData.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/FileInfoWindow.h"
#include "ui/workspace/FileOpener.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

struct ReaderScope {
    explicit ReaderScope(FileOpenFunction f) : previous(fileOpenFunction()) { fileOpenFunction() = std::move(f); }
    ~ReaderScope() { fileOpenFunction() = previous; }
    FileOpenFunction previous;
};

bool progressVisible()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<QProgressDialog*>(top) && top->isVisible()) return true;
    return false;
}

}  // namespace

class ReadableMessagesTest : public QObject {
    Q_OBJECT
private slots:
    void missingFilesAndFoldersAreNamed()
    {
        // The program's own reader, as the command line and a second program use it.
        QTemporaryDir tmp;
        MessageRecorder recorder;
        MainWindow w(tmp.filePath(QStringLiteral("orvala.ini")));
        const QString folder = tmp.filePath(QStringLiteral("plates"));
        QVERIFY(QDir().mkpath(folder));
        const QString missing = tmp.filePath(QStringLiteral("gone.fcs"));
        w.openFirstDataSet(folder);
        w.openFirstDataSet(missing);
        w.openFiles({missing});
        QCOMPARE(recorder.messages.size(), 3);
        QVERIFY2(recorder.messages[0].contains(QStringLiteral("folder")) && recorder.messages[0].contains(folder),
                 qPrintable(recorder.messages[0]));
        for (int i : {1, 2})
            QVERIFY2(recorder.messages[i].contains(QStringLiteral("does not exist")) &&
                         recorder.messages[i].contains(missing),
                     qPrintable(recorder.messages[i]));
        QCOMPARE(w.dataList()->Count(), 0);
    }

    void readerMessagesNameTheFile()
    {
        QTemporaryDir tmp;
        MessageRecorder recorder;
        ReaderScope reader([](const std::string&, int) -> TData* {
            defaultSink().message("The data segment is shorter than $TOT says.");
            throw OrvalaError("Bad FCS File");
        });
        MainWindow w(tmp.filePath(QStringLiteral("orvala.ini")));
        const QString file = tmp.filePath(QStringLiteral("broken.fcs"));
        w.openFiles({file});
        QCOMPARE(recorder.messages.size(), 2);
        for (const QString& m : recorder.messages) QVERIFY2(m.contains(file), qPrintable(m));
        // The reader's own text comes first, unchanged.
        QVERIFY(recorder.messages[1].startsWith(QStringLiteral("Bad FCS File")));
        // A message that names the file already is left as it is.
        recorder.messages.clear();
        ReaderScope named([](const std::string& f, int) -> TData* { throw OrvalaError("Error reading file " + f); });
        w.openFiles({file});
        QCOMPARE(recorder.messages, QStringList{QStringLiteral("Error reading file ") + file});
    }

    void progressWindowStepsAsideForAMessage()
    {
        QTemporaryDir tmp;
        bool coveredWhileShown = true;
        bool progressBefore = false;
        MessageRecorder recorder;
        UserMessageHandler inner = setUserMessageHandler([&](const QString& text) {
            coveredWhileShown = progressVisible();
            recorder.messages << text;
        });
        // Slow enough that the progress window is up when the reader speaks.
        ReaderScope reader([&](const std::string&, int) -> TData* {
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
            progressBefore = true;
            defaultSink().message("Keyword $P3R is missing; 1024 assumed.");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return TData::Create("slow", 2, 3);
        });
        MainWindow w(tmp.filePath(QStringLiteral("orvala.ini")));
        w.show();
        bool sawProgress = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { sawProgress = sawProgress || progressVisible(); });
        probe.start(50);
        w.openFiles({tmp.filePath(QStringLiteral("slow.fcs"))});
        probe.stop();
        setUserMessageHandler(std::move(inner));
        QVERIFY(progressBefore);
        QVERIFY(sawProgress);
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(!coveredWhileShown, "a progress window was up while the message was shown");
        QCOMPARE(w.dataList()->Count(), 1);
    }

    void fileInfoClosesWithEscape()
    {
        FileInfoWindow see;
        see.show();
        see.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&see));
        QTest::keyClick(&see, Qt::Key_Escape);
        QVERIFY(!see.isVisible());
    }
};

int runReadableMessagesTests(int argc, char** argv)
{
    ReadableMessagesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ReadableMessagesTest.moc"
