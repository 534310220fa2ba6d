// One workbench per user: the hand-over of a second start, hung and stale
// listeners, and the real program started a second time.
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <QTimer>
#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "UiTestHelpers.h"
#include "ui/common/DataListWindow.h"
#include "ui/workspace/FileOpener.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/SingleInstance.h"

using namespace orvala;

namespace {

QString uniqueKey() { return QStringLiteral("orvala-test-") + QUuid::createUuid().toString(QUuid::Id128).left(12); }

// Runs the client side on a thread of its own while this thread serves.
bool handOverFromThread(const QString& key, const QString& file, int timeoutMs = 100)
{
    auto result = std::async(std::launch::async, [=] { return handOverToRunningInstance(key, file, timeoutMs); });
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) QCoreApplication::processEvents();
    return result.get();
}

// What a crashed instance leaves: a socket file nobody listens on.
bool makeStaleSocket(const QString& key)
{
    const QByteArray path = QDir(QDir::tempPath()).filePath(key).toLocal8Bit();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(QString::fromLocal8Bit(path));
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void noInstanceMeansNoHandOver()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!handOverToRunningInstance(uniqueKey(), QStringLiteral("x.fcs")));
        QVERIFY(clock.elapsed() < 1000);
    }

    void runningInstanceReceivesTheFileAbsolute()
    {
        const QString key = uniqueKey();
        InstanceServer server;
        QVERIFY(server.listen(key));
        QSignalSpy raised(&server, &InstanceServer::raiseRequested);
        QSignalSpy opened(&server, &InstanceServer::openRequested);

        QVERIFY(handOverFromThread(key, QStringLiteral("rel/tube 1.fcs")));
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), QDir::current().absoluteFilePath(QStringLiteral("rel/tube 1.fcs")));
        QTRY_COMPARE(raised.count(), 1);

        // Without an argument the running window only comes to the front.
        QVERIFY(handOverFromThread(key, QString()));
        QTRY_COMPARE(raised.count(), 2);
        QTest::qWait(50);
        QCOMPARE(opened.count(), 1);
    }

    void aListenerThatDoesNotAnswerDoesNotCount()
    {
        const QString key = uniqueKey();
        QLocalServer mute;  // accepts connections, never answers
        QVERIFY(mute.listen(key));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!handOverFromThread(key, QStringLiteral("a.fcs")));
        QVERIFY(clock.elapsed() < 2000);
        // A hung instance does not count: the next start takes the name.
        InstanceServer server;
        QVERIFY(server.listen(key));
    }

    void aStaleSocketDoesNotBlockTheNextStart()
    {
        const QString key = uniqueKey();
        QVERIFY(makeStaleSocket(key));
        QVERIFY(!handOverToRunningInstance(key, QStringLiteral("a.fcs")));
        InstanceServer server;
        QVERIFY(server.listen(key));
        QVERIFY(handOverFromThread(key, QString()));
    }

    void aLiveInstanceKeepsItsName()
    {
        const QString key = uniqueKey();
        InstanceServer first;
        QVERIFY(first.listen(key));
        // Another process would probe from outside; a thread stands in for it
        // while this thread's loop lets the first instance answer.
        auto took = std::async(std::launch::async, [key] {
            InstanceServer second;
            return second.listen(key);
        });
        while (took.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) QCoreApplication::processEvents();
        QVERIFY(!took.get());
        QVERIFY(first.isListening());
        QVERIFY(handOverFromThread(key, QString()));
    }

    void secondProgramHandsItsFileToTheRunningWindow()
    {
        QTemporaryDir tmp;
        QStringList opened;
        const FileOpenFunction previous = fileOpenFunction();
        fileOpenFunction() = [&](const std::string& name, int) {
            opened << QString::fromStdString(name);
            TData* d = TData::Create("", 2, 5);
            d->setFileName(name);
            return d;
        };
        {
            MainWindow w(tmp.filePath(QStringLiteral("orvala.ini")));
            w.show();
            const QString key = uniqueKey();
            InstanceServer server;
            QVERIFY(server.listen(key));
            w.attachInstanceServer(&server);

            QProcess second;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ORVALA_INSTANCE_KEY"), key);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
            second.setProcessEnvironment(env);
            second.setWorkingDirectory(tmp.path());
            second.start(QStringLiteral(ORVALA_EXE), {QStringLiteral("handed.fcs")});
            QVERIFY(second.waitForStarted(10000));
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
            QTRY_COMPARE(w.dataList()->Count(), 1);
            QCOMPARE(opened, QStringList{QDir(tmp.path()).filePath(QStringLiteral("handed.fcs"))});
            // The second program never made a settings file: it had no window.
            QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("config/orvala/orvala.ini"))));
        }
        fileOpenFunction() = previous;
    }
};

int runSingleInstanceTests(int argc, char** argv)
{
    SingleInstanceTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "SingleInstanceTest.moc"
