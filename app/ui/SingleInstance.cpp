#include "app/ui/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

#include "app/settings/SettingsKey.h"

namespace ostrel::app {

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().isEmpty()) {
                    emit pulsed();
                }
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::socketName() {
    // The folder's canonical path, so two spellings of one folder are one instance.
    QString folder = QString::fromStdString(settings::settingsFolder());
    const QString canonical = QDir(folder).canonicalPath();
    if (!canonical.isEmpty()) {
        folder = canonical;
    }
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("%1-%2-%3")
        .arg(kEventName)
        .arg(::getuid())
        .arg(QString::fromLatin1(hash));
}

bool SingleInstance::pulse() {
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(kPulseTimeoutMs)) {
        return false;
    }
    socket.write("1", 1);
    socket.waitForBytesWritten(kPulseTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::claim() {
    const QString name = socketName();
    if (pulse()) {
        return false;
    }
    // Nobody answered: a socket file left by a crashed instance is stale.
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name)) {
        // Lost a race with another start: that one is first now.
        pulse();
        return false;
    }
    return true;
}

void SingleInstance::release() {
    if (server_.isListening()) {
        server_.close();
    }
}

}  // namespace ostrel::app
