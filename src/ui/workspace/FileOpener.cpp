#include "FileOpener.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

#include "core/TData.h"
#include "ui/common/UiMessages.h"

namespace orvala {

FileOpenFunction& fileOpenFunction()
{
    static FileOpenFunction open = [](const std::string& fileName, int datasetnum) {
        // A name from the command line or another program may be anything:
        // say plainly what is wrong instead of a reader's message about bytes.
        const QFileInfo info(fromEightBit(fileName));
        const std::string shown = toEightBit(QDir::toNativeSeparators(info.absoluteFilePath()));
        if (info.isDir()) throw OrvalaError("\"" + shown + "\" is a folder, not a data file.");
        if (!info.exists()) throw OrvalaError("The file \"" + shown + "\" does not exist.");
        return TData::TryOpen(fileName, datasetnum);
    };
    return open;
}

namespace {

// Adds the file's name to a message that does not mention it, so the user
// knows which of several files it is about.
std::string namingFile(const std::string& text, const QString& fileName)
{
    const std::string base = toEightBit(QFileInfo(fileName).fileName());
    if (!base.empty() && text.find(base) != std::string::npos) return text;
    return text + "\r\nFile: " + toEightBit(QDir::toNativeSeparators(fileName));
}

// The readers' messages while one file is read: forwarded with its name.
class FileNamingSink : public MessageSink {
public:
    FileNamingSink(MessageSink& next, const QString& fileName) : next_(next), fileName_(fileName) {}
    void message(const std::string& text) override { next_.message(namingFile(text, fileName_)); }

private:
    MessageSink& next_;
    QString fileName_;
};

// Installs a default sink for one read and puts the previous one back.
struct SinkScope {
    explicit SinkScope(MessageSink* sink) : previous(setDefaultSink(sink)) {}
    ~SinkScope() { setDefaultSink(previous); }
    SinkScope(const SinkScope&) = delete;
    SinkScope& operator=(const SinkScope&) = delete;
    MessageSink* previous;
};

}  // namespace

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

    FileNamingSink naming(defaultSink(), fileName);
    const SinkScope namingScope(&naming);
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
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            throw OrvalaError(namingFile(e.what(), fileName));
        }
    }
    return result;
}

}  // namespace orvala
