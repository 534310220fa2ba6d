#pragma once
// One workbench per user. A starting program first asks for a running one over
// a local socket named per user; the running one answers within 100 ms, is
// brought to the front and opens the file the newcomer was started with.
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace orvala {

// The socket name of this user's instance: ORVALA_INSTANCE_KEY when set,
// else derived from the user name.
QString instanceKey();

// Client side. True when a running instance answered the greeting within
// timeoutMs; it has then been asked to come to the front and, when file is
// not empty, to open file (made absolute against the current directory).
// False when nobody listens or the listener does not answer in time.
bool handOverToRunningInstance(const QString& key, const QString& file, int timeoutMs = 100);

// Server side, owned by the main window.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens on key. A socket left behind by a crashed instance (nobody
    // answers on it) is removed first. False when another live instance holds
    // the key or listening failed.
    bool listen(const QString& key);
    bool isListening() const;

signals:
    void raiseRequested();
    void openRequested(const QString& file);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QLocalServer* server_ = nullptr;
};

// The answer to the greeting, as the instance check expects it.
constexpr int InstanceAnswer = 4961688;

}  // namespace orvala
