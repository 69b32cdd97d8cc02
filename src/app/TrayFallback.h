// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ShellCommands.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace norvane {

// Keeps Norvane reachable on a desktop without a tray: a few seconds after start (trays often register a
// little after the session's programs), if there is still none, the settings window opens with the
// menu's commands at its top. A settings window already on screen (the first-run setup) keeps its
// presentation and gains the commands in place.
class TrayFallback : public QObject {
    Q_OBJECT
public:
    static constexpr double waitSeconds = 3.0;
    static inline const QString noTrayLogLine =
        QStringLiteral("No system tray is available; the settings window shows the menu's commands instead. "
                       "Run norvane again to bring the window back.");

    TrayFallback(Clock* clock, std::function<bool()> trayAvailable, ShellCommands* commands,
                 SettingsWindowPresenting* settingsWindow, std::function<bool()> settingsWindowVisible = {},
                 QObject* parent = nullptr);
    ~TrayFallback() override;

    void start();
    bool isEngaged() const { return m_engaged; }

private:
    void check();

    Clock* m_clock;
    std::function<bool()> m_trayAvailable;
    QPointer<ShellCommands> m_commands;
    SettingsWindowPresenting* m_settingsWindow;
    std::function<bool()> m_settingsWindowVisible;
    std::optional<quint64> m_timer;
    bool m_engaged = false;
};

} // namespace norvane
