// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SingleInstance.h"

#include "model/Logging.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

namespace norvane {

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName)) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() {
    m_server.close();
}

QString SingleInstance::defaultServerName() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("norvane.socket"));
    // No private runtime folder: a shared one, with the user in the name.
    return QDir(QDir::tempPath())
        .filePath(
            QStringLiteral("norvane-%1.socket").arg(qEnvironmentVariable("USER", QStringLiteral("user"))));
}

bool SingleInstance::handOver(const QString& serverName, const QStringList& arguments, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message = QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
    message.append('\n');
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen() {
    // Someone answering on the name is a running instance; never take the name from it.
    {
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(500))
            return false;
    }
    // Nobody answers: whatever is left at that path belongs to an instance that died.
    QLocalServer::removeServer(m_serverName);
    if (!m_server.listen(m_serverName))
        return false;
    QFile::setPermissions(m_server.fullServerName(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString SingleInstance::fullServerName() const {
    return m_server.fullServerName();
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        auto finish = [this, socket, buffer] {
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0)
                return false;
            const QJsonDocument document = QJsonDocument::fromJson(buffer->left(end));
            buffer->clear();
            if (!document.isArray()) {
                qCWarning(lcApp) << "A second launch sent an unreadable message; it was ignored.";
                socket->abort();
                return true;
            }
            QStringList arguments;
            for (const auto& value : document.array())
                arguments.append(value.toString());
            socket->disconnectFromServer();
            Q_EMIT argumentsReceived(arguments);
            return true;
        };
        auto read = [socket, buffer, finish] {
            buffer->append(socket->readAll());
            if (finish())
                return;
            if (buffer->size() > maxMessageBytes) {
                buffer->clear();
                socket->abort();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        // Data may already be waiting when the connection is taken.
        if (socket->bytesAvailable() > 0)
            read();
    }
}

} // namespace norvane
