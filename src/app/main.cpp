// The orvala workbench: one window per user; a second start hands its file to
// the running one.
#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "ui/workspace/FileOpener.h"
#include "ui/workspace/MainWindow.h"
#include "ui/workspace/SettingsLocation.h"
#include "ui/workspace/SingleInstance.h"

namespace {

// The demo data set opened when the program starts without a file: beside the
// program in an installed copy, else where the build wrote it.
QString demoFile()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("orvala-demo.fcs"));
    if (QFileInfo::exists(beside)) return beside;
#ifdef ORVALA_DEMO_FILE
    if (QFileInfo::exists(QStringLiteral(ORVALA_DEMO_FILE))) return QStringLiteral(ORVALA_DEMO_FILE);
#endif
    return {};
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvala"));
    const QStringList args = QApplication::arguments().mid(1);
    const QString file = args.isEmpty() ? QString() : args.first();

    const QString key = orvala::instanceKey();
    if (orvala::handOverToRunningInstance(key, file)) return 0;

    orvala::MainWindow window(orvala::prepareSettingsFile(orvala::defaultSettingsLocation()));
    orvala::InstanceServer server;
    server.listen(key);
    window.attachInstanceServer(&server);
    window.show();

    const QString start = file.isEmpty() ? demoFile() : file;
    if (!start.isEmpty() && orvala::fileOpenFunction())
        QMetaObject::invokeMethod(&window, [&window, start] { window.openFirstDataSet(start); }, Qt::QueuedConnection);
    return app.exec();
}
