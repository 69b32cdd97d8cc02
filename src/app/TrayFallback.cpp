// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "TrayFallback.h"

#include "model/Logging.h"

namespace norvane {

TrayFallback::TrayFallback(Clock* clock, std::function<bool()> trayAvailable, ShellCommands* commands,
                           SettingsWindowPresenting* settingsWindow,
                           std::function<bool()> settingsWindowVisible, QObject* parent)
    : QObject(parent), m_clock(clock), m_trayAvailable(std::move(trayAvailable)), m_commands(commands),
      m_settingsWindow(settingsWindow), m_settingsWindowVisible(std::move(settingsWindowVisible)) {}

TrayFallback::~TrayFallback() {
    if (m_timer)
        m_clock->cancelTimer(*m_timer);
}

void TrayFallback::start() {
    if (m_timer || m_engaged)
        return;
    QPointer<TrayFallback> self(this);
    m_timer = m_clock->startTimer(waitSeconds, [self] {
        if (!self)
            return;
        self->m_timer.reset();
        self->check();
    });
}

void TrayFallback::check() {
    if (m_trayAvailable && m_trayAvailable()) {
        qCDebug(lcApp) << "A system tray is available; the menu lives there.";
        return;
    }
    qCInfo(lcApp).noquote() << noTrayLogLine;
    m_engaged = true;
    if (m_commands)
        m_commands->setShowsInWindow(true);
    // Replacing an open setup window would lose the first-run flow; the commands appear in it instead.
    if (m_settingsWindowVisible && m_settingsWindowVisible())
        return;
    if (m_settingsWindow)
        m_settingsWindow->show(SettingsPresentationMode::Standard);
}

} // namespace norvane
