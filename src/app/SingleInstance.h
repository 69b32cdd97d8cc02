// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace norvane {

// One Norvane per user. The first launch listens on a local socket in the user's runtime folder; a later
// launch hands its arguments over that socket and exits.
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
};

} // namespace norvane
