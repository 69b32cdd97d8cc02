// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "CommandLine.h"
#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>

#include <functional>

namespace norvane {

// Carries out the commands that come from outside the process (a later launch on the command line), the
// way the tray menu would, and says what came of each.
class RemoteCommands : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int exitCode = 0; // 0 done, 1 refused
        QString output;   // one line for the user
    };

    RemoteCommands(AppState* appState, MonitoringControlling* monitoring,
                   SettingsWindowPresenting* settingsWindow, std::function<void()> openHistory,
                   QObject* parent = nullptr);

    Reply execute(const RemoteCommand& command);
    // The socket's request handler: a request as RemoteCommand::toJson writes it, the reply as
    // SingleInstance::reply writes it.
    QJsonObject handle(const QJsonObject& request);
    // StatusReport's object for this instance.
    QJsonObject status() const;

private:
    QString monitoringSentence() const;

    QPointer<AppState> m_appState;
    MonitoringControlling* m_monitoring;
    SettingsWindowPresenting* m_settingsWindow;
    std::function<void()> m_openHistory;
};

} // namespace norvane
