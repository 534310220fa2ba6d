#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace orvala {

namespace {

const QByteArray Greeting = "HELLO\n";
const QByteArray Answer = QByteArray::number(InstanceAnswer) + '\n';

// Reads one line within the time left; empty when none arrived.
QByteArray readLine(QLocalSocket& socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0 || !socket.waitForReadyRead(left)) return {};
    }
    return socket.readLine();
}

}  // namespace

QString instanceKey()
{
    const QString overridden = qEnvironmentVariable("ORVALA_INSTANCE_KEY");
    if (!overridden.isEmpty()) return overridden;
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    // The home folder tells users apart when the name is not in the environment.
    const QByteArray who = (user + QLatin1Char('|') + QDir::homePath()).toUtf8();
    return QStringLiteral("orvala-") +
           QString::fromLatin1(QCryptographicHash::hash(who, QCryptographicHash::Sha1).toHex().left(16));
}

bool handOverToRunningInstance(const QString& key, const QString& file, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(key);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(Greeting);
    socket.flush();
    if (readLine(socket, timeoutMs) != Answer) return false;

    QByteArray request = "RAISE\n";
    if (!file.isEmpty())
        request += "OPEN " + QFileInfo(file).absoluteFilePath().toUtf8().toBase64() + '\n';
    socket.write(request);
    socket.flush();
    // The running instance acknowledges once it holds the request; waiting for
    // that keeps this process from leaving before the bytes are delivered.
    readLine(socket, 2000);
    socket.disconnectFromServer();
    return true;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::onNewConnection);
}

InstanceServer::~InstanceServer() { server_->close(); }

bool InstanceServer::isListening() const { return server_->isListening(); }

bool InstanceServer::listen(const QString& key)
{
    // The name may be held by a live instance or by the socket file of one
    // that crashed; only a live one answers. Ask first: with access options
    // set, listening replaces an existing socket file instead of failing.
    {
        QLocalSocket probe;
        probe.connectToServer(key);
        if (probe.waitForConnected(100)) {
            probe.write(Greeting);
            probe.flush();
            if (readLine(probe, 100) == Answer) return false;
        }
    }
    QLocalServer::removeServer(key);
    return server_->listen(key);
}

void InstanceServer::onNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void InstanceServer::onReadyRead(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (line + '\n' == Greeting) {
            socket->write(Answer);
        } else if (line == "RAISE") {
            QMetaObject::invokeMethod(this, [this] { emit raiseRequested(); }, Qt::QueuedConnection);
            if (!socket->bytesAvailable()) socket->write("OK\n");
        } else if (line.startsWith("OPEN ")) {
            const QString file = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
            QMetaObject::invokeMethod(this, [this, file] { emit openRequested(file); }, Qt::QueuedConnection);
            socket->write("OK\n");
        }
        socket->flush();
    }
}

}  // namespace orvala
