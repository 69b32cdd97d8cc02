// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "AppDelegate.h"

#include "StartupDecision.h"
#include "model/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace norvane {

AppDelegate::AppDelegate(AppState* appState, MonitoringControlling* monitoring,
                         SettingsWindowPresenting* settingsWindow, QObject* parent)
    : QObject(parent), m_appState(appState), m_monitoring(monitoring), m_settingsWindow(settingsWindow) {
    if (auto* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
        // The session is ending: the process may be killed without the event loop ever returning.
        if (auto* gui = qobject_cast<QGuiApplication*>(app))
            connect(gui, &QGuiApplication::commitDataRequest, this, &AppDelegate::applicationWillTerminate);
    }
}

void AppDelegate::applicationDidFinishLaunching(const QStringList& arguments) {
    const auto mode = startupSettingsMode(m_appState && m_appState->isModelReady(), arguments);
    if (mode && m_settingsWindow)
        m_settingsWindow->show(*mode);
}

void AppDelegate::applicationWillTerminate() {
    if (m_monitoring)
        m_monitoring->stop();
}

void AppDelegate::secondLaunch(const QStringList& arguments) {
    qCInfo(lcApp) << "Another launch of Norvane handed over" << arguments.size()
                  << "arguments; showing the settings.";
    // Without a key there is nothing to monitor with yet: a second launch leads into setup, as a first does.
    const bool ready = m_appState && m_appState->isModelReady();
    if (m_settingsWindow)
        m_settingsWindow->show(ready ? SettingsPresentationMode::Standard : SettingsPresentationMode::Setup);
}

} // namespace norvane
