// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SessionBusService.h"

#include "StatusReport.h"
#include "model/Logging.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>

namespace norvane {

namespace {
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
}

SessionBusService::SessionBusService(AppState* appState, ShellCommands* commands,
                                     MonitoringControlling* monitoring, QObject* parent)
    : QObject(parent), m_appState(appState), m_commands(commands), m_monitoring(monitoring),
      m_bus(QString()) {
    if (!m_appState)
        return;
    for (auto signal : {&AppState::isMonitoringChanged, &AppState::isPausedChanged,
                        &AppState::pauseResumeTimeChanged, &AppState::nudgeDiagnosticsChanged})
        connect(m_appState, signal, this, &SessionBusService::propertiesMayHaveChanged);
}

bool SessionBusService::registerOn(QDBusConnection bus) {
    if (!bus.isConnected()) {
        qCWarning(lcSessionBusService).noquote()
            << "Norvane is not on the session bus:" << bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(objectPath, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAllProperties)) {
        qCWarning(lcSessionBusService) << "Norvane could not export its object on the session bus.";
        return false;
    }
    // Without queueing: a second Norvane gives up at once instead of waiting for the first to end.
    const auto reply =
        bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(objectPath);
        qCWarning(lcSessionBusService).noquote()
            << "The session bus name" << serviceName
            << "belongs to another program (probably another Norvane); this one goes on without it.";
        return false;
    }
    m_bus = bus;
    m_registered = true;
    m_announced = observedProperties();
    return true;
}

QString SessionBusService::pausedUntil() const {
    if (!paused() || !m_appState->pauseResumeTime())
        return {};
    return m_appState->pauseResumeTime()->toUTC().toString(Qt::ISODate);
}

int SessionBusService::capturesLastHour() const {
    return m_monitoring && m_appState ? m_monitoring->recentCaptureCount(m_appState->clock()->now()) : 0;
}

void SessionBusService::SetMonitoring(bool on) {
    if (!m_monitoring || on == monitoring())
        return;
    if (on)
        m_monitoring->startFromUserRequest();
    else
        m_monitoring->stop();
}

void SessionBusService::ToggleMonitoring() {
    if (m_commands)
        m_commands->toggleMonitoring();
}

void SessionBusService::Pause(uint minutes) {
    if (minutes < 1 || minutes > maximumPauseMinutes) {
        sendErrorReply(
            QDBusError::InvalidArgs,
            tr("A pause lasts from 1 to %1 minutes, not %2.").arg(maximumPauseMinutes).arg(minutes));
        return;
    }
    // The menu's rule: with monitoring off there is nothing to pause.
    if (!monitoring()) {
        sendErrorReply(QDBusError::Failed, tr("Monitoring is off, so there is nothing to pause."));
        return;
    }
    m_appState->pauseFor(double(minutes));
}

void SessionBusService::Resume() {
    if (paused())
        m_appState->resumeMonitoring();
}

void SessionBusService::ShowSettings() {
    if (m_commands)
        m_commands->openSettings();
}

void SessionBusService::ShowHistory() {
    if (m_commands)
        m_commands->openHistory();
}

QString SessionBusService::Status() const {
    return m_appState ? StatusReport::sentence(StatusReport::make(*m_appState, m_monitoring)) : QString();
}

QString SessionBusService::StatusJson() const {
    const QJsonObject status = m_appState ? StatusReport::make(*m_appState, m_monitoring) : QJsonObject();
    return QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact));
}

QVariantMap SessionBusService::observedProperties() const {
    return {{QStringLiteral("Monitoring"), monitoring()},
            {QStringLiteral("Paused"), paused()},
            {QStringLiteral("PausedUntil"), pausedUntil()},
            {QStringLiteral("LastDiagnostic"), lastDiagnostic()}};
}

void SessionBusService::propertiesMayHaveChanged() {
    // One pause changes three properties; they leave as one signal once the change is complete.
    if (!m_registered || m_announcementQueued)
        return;
    m_announcementQueued = true;
    QMetaObject::invokeMethod(this, &SessionBusService::announceChanges, Qt::QueuedConnection);
}

void SessionBusService::announceChanges() {
    m_announcementQueued = false;
    const QVariantMap current = observedProperties();
    QVariantMap changed;
    for (auto it = current.cbegin(); it != current.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = current;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(objectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"));
    signal << interfaceName << changed << QStringList();
    m_bus.send(signal);
}

} // namespace norvane
