// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/Clock.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <optional>

namespace norvane {

// A message on the desktop's notification service.
class DesktopNotifying {
public:
    virtual ~DesktopNotifying() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
};

// org.freedesktop.Notifications on the session bus. Sends without waiting; a refusal is logged.
class DesktopNotifications : public QObject, public DesktopNotifying {
    Q_OBJECT
public:
    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    void notify(const QString& summary, const QString& body) override;

private:
    QDBusConnection m_bus;
};

// Tells the user, outside the settings window, when analyses keep failing: after three failures in a
// row, one notification that says why and what to do, then at most one an hour while they go on. An
// analysis that succeeds starts the count again. A card held back (budget, full screen) is no failure.
class FailureNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int failuresBeforeNotice = 3;
    static constexpr double noticeIntervalSeconds = 3600.0;

    FailureNotifier(AppState* appState, DesktopNotifying* notifier, Clock* clock, QObject* parent = nullptr);

    // What the user can do about a failure with this diagnostic detail, as one sentence.
    static QString adviceFor(const QString& detail);

private:
    void diagnosticsChanged();

    QPointer<AppState> m_appState;
    DesktopNotifying* m_notifier;
    Clock* m_clock;
    int m_failuresInARow = 0;
    std::optional<QDateTime> m_lastNotice;
};

} // namespace norvane
