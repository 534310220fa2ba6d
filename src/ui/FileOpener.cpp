#include "FileOpener.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

#include "UiMessages.h"
#include "core/TData.h"

namespace orvala {

FileOpenFunction& fileOpenFunction()
{
    static FileOpenFunction open = [](const std::string& fileName, int datasetnum) {
        return TData::TryOpen(fileName, datasetnum);
    };
    return open;
}

TData* openWithProgress(const QString& fileName, QWidget* parent, const FileOpenFunction& open, int showAfterMs)
{
    if (!open) throw OrvalaError("No reader is available to open " + toEightBit(fileName));
    QEventLoop loop;
    TData* result = nullptr;
    std::exception_ptr error;
    std::atomic<bool> done{false};
    const std::string name = toEightBit(fileName);

    QProgressDialog progress(QStringLiteral("Reading %1 ...").arg(QFileInfo(fileName).fileName()), QString(), 0, 0,
                             parent);
    progress.setWindowTitle(QStringLiteral("Progress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(showAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setObjectName(QStringLiteral("OpenProgress"));
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, &progress, [&] {
        if (!done) progress.show();
    });
    showTimer.start(showAfterMs);

    std::thread worker([&] {
        try {
            result = open(name, 0);
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Paint and timer events go on; clicks and keys wait for the reader.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    showTimer.stop();
    progress.hide();
    if (error) std::rethrow_exception(error);
    return result;
}

}  // namespace orvala
