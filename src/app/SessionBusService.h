// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ShellCommands.h"
#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

namespace norvane {

// Norvane on the user's session bus, for scripts, keyboard shortcuts and panel widgets: its state as
// read-only properties (with PropertiesChanged) and the tray menu's commands as methods. Main thread.
class SessionBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.norvane.Norvane")
    Q_PROPERTY(bool Monitoring READ monitoring)
    Q_PROPERTY(bool Paused READ paused)
    Q_PROPERTY(QString PausedUntil READ pausedUntil)
    Q_PROPERTY(QString LastDiagnostic READ lastDiagnostic)
    Q_PROPERTY(int CapturesLastHour READ capturesLastHour)

public:
    static inline const QString serviceName = QStringLiteral("app.norvane.Norvane");
    static inline const QString interfaceName = QStringLiteral("app.norvane.Norvane");
    static inline const QString objectPath = QStringLiteral("/app/norvane/Norvane");
    static constexpr uint maximumPauseMinutes = 24 * 60;

    SessionBusService(AppState* appState, ShellCommands* commands, MonitoringControlling* monitoring,
                      QObject* parent = nullptr);

    // Exports the object and claims the name. When another Norvane holds the name, logs why and
    // returns false; the program goes on without the service.
    bool registerOn(QDBusConnection bus);

    bool monitoring() const { return m_appState && m_appState->isMonitoring(); }
    bool paused() const { return m_appState && m_appState->isPaused(); }
    QString pausedUntil() const;
    QString lastDiagnostic() const { return m_appState ? m_appState->nudgeDiagnostics().detail : QString(); }
    int capturesLastHour() const;

public Q_SLOTS:
    Q_SCRIPTABLE void SetMonitoring(bool on);
    Q_SCRIPTABLE void ToggleMonitoring();
    Q_SCRIPTABLE void Pause(uint minutes);
    Q_SCRIPTABLE void Resume();
    Q_SCRIPTABLE void ShowSettings();
    Q_SCRIPTABLE void ShowHistory();
    // What `norvane --status` and `norvane --status --json` print.
    Q_SCRIPTABLE QString Status() const;
    Q_SCRIPTABLE QString StatusJson() const;

private:
    QVariantMap observedProperties() const;
    void propertiesMayHaveChanged();
    void announceChanges();

    QPointer<AppState> m_appState;
    QPointer<ShellCommands> m_commands;
    MonitoringControlling* m_monitoring;
    QDBusConnection m_bus;
    bool m_registered = false;
    bool m_announcementQueued = false;
    QVariantMap m_announced;
};

} // namespace norvane
