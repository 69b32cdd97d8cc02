// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SingleInstance.h"

#include "model/Logging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>

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

SingleInstance::Answer SingleInstance::request(const QString& serverName, const QJsonObject& request,
                                               int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return int(std::max<qint64>(deadline.remainingTime(), 0)); };
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(remaining())) {
        // A missing socket, or one left by an instance that died, is refused at once; only a connection
        // that does not complete in time means someone is there.
        const bool timedOut = socket.error() == QLocalSocket::SocketTimeoutError;
        return {timedOut ? Answer::Outcome::NoAnswer : Answer::Outcome::NotRunning, {}};
    }
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact).append('\n'));
    QByteArray received;
    while (!received.contains('\n') && received.size() <= maxMessageBytes) {
        const bool more = socket.bytesAvailable() > 0 || socket.waitForReadyRead(remaining());
        received.append(socket.readAll());
        if (!more)
            break;
    }
    const qsizetype end = received.indexOf('\n');
    if (end < 0)
        return {Answer::Outcome::NoAnswer, {}};
    const QJsonDocument document = QJsonDocument::fromJson(received.left(end));
    if (!document.isObject())
        return {Answer::Outcome::Answered, reply(1, tr("Norvane sent an answer that could not be read."))};
    return {Answer::Outcome::Answered, document.object()};
}

QJsonObject SingleInstance::reply(int exitCode, const QString& output) {
    return {{QStringLiteral("exitCode"), exitCode}, {QStringLiteral("output"), output}};
}

void SingleInstance::acceptConnections() {
    struct Pending {
        QByteArray buffer;
        bool answered = false;
    };
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto pending = std::make_shared<Pending>();
        // The answer leaves once written; closing never waits for a slow client.
        auto answer = [socket, pending](const QJsonObject& message) {
            pending->answered = true;
            pending->buffer.clear();
            socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact).append('\n'));
            socket->disconnectFromServer();
        };
        auto read = [this, socket, pending, answer] {
            if (pending->answered) {
                socket->readAll();
                return;
            }
            pending->buffer.append(socket->readAll());
            const qsizetype end = pending->buffer.indexOf('\n');
            if (end > maxMessageBytes || (end < 0 && pending->buffer.size() > maxMessageBytes)) {
                qCWarning(lcApp) << "Another launch sent an oversized message; it was refused.";
                answer(reply(1, tr("The request was too large; Norvane refused it.")));
                return;
            }
            if (end < 0)
                return;
            const QJsonDocument document = QJsonDocument::fromJson(pending->buffer.left(end));
            if (document.isArray()) {
                pending->answered = true;
                QStringList arguments;
                for (const auto& value : document.array())
                    arguments.append(value.toString());
                socket->disconnectFromServer();
                Q_EMIT argumentsReceived(arguments);
            } else if (document.isObject() && m_requestHandler) {
                answer(m_requestHandler(document.object()));
            } else {
                qCWarning(lcApp) << "Another launch sent an unreadable message; it was refused.";
                answer(reply(1, tr("Norvane could not read the request.")));
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        // Data may already be waiting when the connection is taken.
        if (socket->bytesAvailable() > 0)
            read();
    }
}

} // namespace norvane
