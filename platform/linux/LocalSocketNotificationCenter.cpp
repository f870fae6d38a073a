#include "linux/LocalSocketNotificationCenter.h"

#include "platform/Folders.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace murmelo::linuxdesktop {
namespace {

// Bounded so that a hung observer cannot keep the poster (a copy on its way out) alive.
constexpr int kConnectMs = 500;

}  // namespace

QString LocalSocketNotificationCenter::folder() { return Folders::join(Folders::runtime(), "murmelo-notify"); }

void LocalSocketNotificationCenter::post(const QString& name) {
    QDir dir(folder());
    const QStringList entries = dir.entryList({name + QStringLiteral(".*")}, QDir::System | QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        const QString path = dir.filePath(entry);
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(kConnectMs)) {
            if (socket.error() == QLocalSocket::ConnectionRefusedError) QFile::remove(path);
            continue;
        }
        socket.write(name.toUtf8() + '\n');
        socket.waitForBytesWritten(kConnectMs);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kConnectMs);
    }
}

void LocalSocketNotificationCenter::addObserver(const QString& name, std::function<void()> handler) {
    Folders::makePrivateFolder(folder());
    const QString path = Folders::join(folder(), name + QLatin1Char('.') + QString::number(::getpid()));
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    if (!server->listen(path)) {
        delete server;
        return;
    }
    connect(server, &QLocalServer::newConnection, this,
            [this, server, name, handler] { accept(server, name, handler); });
}

void LocalSocketNotificationCenter::accept(QLocalServer* server, const QString& name,
                                           const std::function<void()>& handler) {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        auto consume = [socket, buffer, name, handler] {
            buffer->append(socket->readAll());
            while (true) {
                const qsizetype nl = buffer->indexOf('\n');
                if (nl < 0) break;
                const QByteArray line = buffer->left(nl);
                buffer->remove(0, nl + 1);
                if (QString::fromUtf8(line) == name) handler();
            }
        };
        connect(socket, &QLocalSocket::readyRead, socket, consume);
        connect(socket, &QLocalSocket::disconnected, socket, [socket, consume] {
            consume();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) consume();
    }
}

}  // namespace murmelo::linuxdesktop
