// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

namespace norvane {

// The start-up and shut-down decisions of the shell. Launching opens the settings window only when the
// stored key is blank (setup) or "--open-settings" was given (standard); quitting, however it comes about,
// stops monitoring before anything else goes away.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(AppState* appState, MonitoringControlling* monitoring,
                SettingsWindowPresenting* settingsWindow, QObject* parent = nullptr);

    void applicationDidFinishLaunching(const QStringList& arguments);
    void applicationWillTerminate();
    // A second launch handed over its arguments: bring the settings up.
    void secondLaunch(const QStringList& arguments);

    // Closing the settings window never ends the application.
    static constexpr bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

private:
    QPointer<AppState> m_appState;
    MonitoringControlling* m_monitoring;
    SettingsWindowPresenting* m_settingsWindow;
};

} // namespace norvane
