// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace norvane {

// One Norvane per user. The first launch listens on a local socket in the user's runtime folder; a later
// launch hands its arguments over that socket and exits. A command is one JSON object on one line, and
// the answer one JSON object on one line: {"exitCode": 0, "output": "..."}.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Largest hand-over accepted; anything longer is dropped unread.
    static constexpr qint64 maxMessageBytes = 64 * 1024;

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The per-user socket path, in the runtime folder (which only the user can enter).
    static QString defaultServerName();

    // Client side: true when a running instance accepted the arguments. Blocks for at most `timeoutMs`;
    // runs before the event loop starts.
    static bool handOver(const QString& serverName, const QStringList& arguments, int timeoutMs = 2000);

    struct Answer {
        enum class Outcome { NotRunning, NoAnswer, Answered };
        Outcome outcome = Outcome::NotRunning;
        QJsonObject reply; // when answered
    };
    // Client side: sends one request and waits at most `timeoutMs` in all for its answer.
    static Answer request(const QString& serverName, const QJsonObject& request, int timeoutMs = 1000);
    static QJsonObject reply(int exitCode, const QString& output);

    // Answers requests; called on the main thread, it must not wait for anything.
    void setRequestHandler(std::function<QJsonObject(const QJsonObject&)> handler) {
        m_requestHandler = std::move(handler);
    }

    // Server side: listens, replacing a socket left behind by an instance that died. The socket is
    // readable and writable by the user alone.
    bool listen();
    QString fullServerName() const;

Q_SIGNALS:
    void argumentsReceived(const QStringList& arguments);

private:
    void acceptConnections();

    QString m_serverName;
    QLocalServer m_server;
    std::function<QJsonObject(const QJsonObject&)> m_requestHandler;
};

} // namespace norvane
