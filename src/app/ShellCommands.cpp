// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ShellCommands.h"

namespace norvane {

ShellCommands::ShellCommands(AppState* appState, MonitoringControlling* monitoring,
                             SettingsWindowPresenting* settingsWindow, std::function<void()> quit,
                             QObject* parent)
    : QObject(parent), m_appState(appState), m_monitoring(monitoring), m_settingsWindow(settingsWindow),
      m_quit(std::move(quit)) {
    if (m_appState) {
        connect(m_appState, &AppState::isMonitoringChanged, this, &ShellCommands::changed);
        connect(m_appState, &AppState::isPausedChanged, this, &ShellCommands::changed);
        connect(m_appState, &AppState::pauseResumeTimeChanged, this, &ShellCommands::changed);
    }
}

bool ShellCommands::isWatching() const {
    return m_appState && m_appState->isMonitoring() && !m_appState->isPaused();
}

QString ShellCommands::monitoringTitle() const {
    return isWatching() ? tr("Monitoring: On") : tr("Monitoring: Off");
}

QString ShellCommands::pauseTitle() const {
    return m_appState && m_appState->isPaused() ? tr("Resume Monitoring") : tr("Pause for 30 min");
}

bool ShellCommands::pauseEnabled() const {
    return m_appState && m_appState->isMonitoring();
}

bool ShellCommands::resumeTimeVisible() const {
    return m_appState && m_appState->isPaused() && m_appState->pauseResumeTime().has_value();
}

QString ShellCommands::resumeTimeTitle() const {
    if (!m_appState || !m_appState->pauseResumeTime())
        return {};
    return tr("Resumes at %1").arg(m_appState->pauseResumeTimeText());
}

void ShellCommands::setShowsInWindow(bool value) {
    if (m_showsInWindow == value)
        return;
    m_showsInWindow = value;
    Q_EMIT showsInWindowChanged();
}

void ShellCommands::toggleMonitoring() {
    if (!m_appState || !m_monitoring)
        return;
    // A paused session still counts as on, so this stops it even though the title reads "Off".
    if (m_appState->isMonitoring())
        m_monitoring->stop();
    else
        m_monitoring->startFromUserRequest();
}

void ShellCommands::togglePause() {
    // The window's button shares the menu item's rule: nothing to pause or resume while monitoring is off.
    if (!pauseEnabled())
        return;
    if (m_appState->isPaused())
        m_appState->resumeMonitoring();
    else
        m_appState->pauseFor(30);
}

void ShellCommands::openSettings() {
    if (m_settingsWindow)
        m_settingsWindow->show(SettingsPresentationMode::Standard);
}

QString ShellCommands::excludableApplication() const {
    const std::optional<FrontmostWindowInfo> window =
        m_exclusionCandidate ? m_exclusionCandidate() : std::nullopt;
    if (!m_appState || !window || window->isOwnApp || window->appName.isEmpty() ||
        m_appState->captureExclusions().excludes(*window))
        return {};
    return window->appName;
}

void ShellCommands::excludeCurrentApplication() {
    if (const QString application = excludableApplication(); !application.isEmpty())
        m_appState->setExcludedApplications(m_appState->excludedApplications() << application);
}

void ShellCommands::quit() {
    if (m_quit)
        m_quit();
}

} // namespace norvane
