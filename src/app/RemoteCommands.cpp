// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "RemoteCommands.h"

#include "SingleInstance.h"
#include "StatusReport.h"
#include "model/Logging.h"

#include <QJsonDocument>

namespace norvane {

RemoteCommands::RemoteCommands(AppState* appState, MonitoringControlling* monitoring,
                               SettingsWindowPresenting* settingsWindow, std::function<void()> openHistory,
                               QObject* parent)
    : QObject(parent), m_appState(appState), m_monitoring(monitoring), m_settingsWindow(settingsWindow),
      m_openHistory(std::move(openHistory)) {}

QJsonObject RemoteCommands::status() const {
    return m_appState ? StatusReport::make(*m_appState, m_monitoring) : StatusReport::notRunning();
}

QString RemoteCommands::monitoringSentence() const {
    if (!m_appState->isMonitoring())
        return tr("Monitoring is off.");
    if (m_appState->isPaused())
        return tr("Monitoring is paused until %1.").arg(m_appState->pauseResumeTimeText());
    return tr("Monitoring is on.");
}

RemoteCommands::Reply RemoteCommands::execute(const RemoteCommand& command) {
    using Kind = RemoteCommand::Kind;
    if (!m_appState || !m_monitoring)
        return {1, tr("Norvane is shutting down.")};
    const bool ready = m_appState->isModelReady();
    const bool gemini = m_appState->modelConnection().provider == ModelProvider::Gemini;
    switch (command.kind) {
    case Kind::MonitoringToggle:
        if (m_appState->isMonitoring()) {
            m_monitoring->stop();
            return {0, monitoringSentence()};
        }
        [[fallthrough]];
    case Kind::MonitoringOn:
        if (!m_appState->isMonitoring())
            m_monitoring->startFromUserRequest();
        else if (m_appState->isPaused())
            m_appState->resumeMonitoring();
        // Without a key or a display monitoring stays off, and the settings window it opened says why.
        if (!m_appState->isMonitoring())
            return {1, ready ? tr("Monitoring could not start; the settings window says why.")
                       : gemini
                           ? tr("Monitoring needs a Gemini API key; add it in the settings window.")
                           : tr("Monitoring needs a usable model server; the settings window says why.")};
        return {0, monitoringSentence()};
    case Kind::MonitoringOff:
        if (m_appState->isMonitoring())
            m_monitoring->stop();
        return {0, monitoringSentence()};
    case Kind::Pause:
        if (!m_appState->isMonitoring())
            return {1, tr("Monitoring is off, so there is nothing to pause.")};
        m_appState->pauseFor(command.pauseMinutes);
        return {0, monitoringSentence()};
    case Kind::Resume:
        if (m_appState->isPaused())
            m_appState->resumeMonitoring();
        return {0, monitoringSentence()};
    case Kind::Launch:
    case Kind::Settings:
        // The rule of a second launch: without a usable model the window leads into setup.
        if (m_settingsWindow)
            m_settingsWindow->show(ready ? SettingsPresentationMode::Standard
                                         : SettingsPresentationMode::Setup);
        return {0, tr("The settings window is open.")};
    case Kind::History:
        if (m_openHistory)
            m_openHistory();
        return {0, tr("The history window is open.")};
    case Kind::Status: {
        const QJsonObject object = status();
        return {0, command.json ? QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                                : StatusReport::sentence(object)};
    }
    }
    return {1, {}};
}

QJsonObject RemoteCommands::handle(const QJsonObject& request) {
    const std::optional<RemoteCommand> command = RemoteCommand::fromJson(request);
    if (!command) {
        qCWarning(lcApp) << "A later launch sent a command Norvane does not know; it was refused.";
        return SingleInstance::reply(
            1, tr("Norvane does not know this command; the running copy may be an older version."));
    }
    const Reply reply = execute(*command);
    return SingleInstance::reply(reply.exitCode, reply.output);
}

} // namespace norvane
