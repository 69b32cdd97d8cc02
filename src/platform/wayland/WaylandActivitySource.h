// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "monitoring/InputEventSource.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <map>

struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

namespace norvane {

class WaylandConnection;

// Wayland lets no client watch the keyboard and mouse. What compositors do offer is a notice when the
// seat has been idle for a while and when input resumes. With that while set to one second, this source
// reports "activity" once at the resumption and then once a second until the seat falls idle again.
// Compared with raw input, the kind of input is unknown (pointer motion alone counts as activity) and
// the moments are known to about a second; the burst rules work in seconds, so they hold.
//
// In order of preference: ext-idle-notify-v1, KDE's org_kde_kwin_idle (KWin, and wlroots compositors
// before ext-idle-notify), and GNOME's Mutter IdleMonitor over the session bus.
class WaylandActivitySource : public QObject, public InputEventSource {
    Q_OBJECT
public:
    enum class Mechanism { None, ExtIdleNotify, KdeIdle, MutterIdleMonitor };

    static constexpr int kIdleTimeoutMs = 1000;

    WaylandActivitySource(WaylandConnection* connection, QDBusConnection bus, QObject* parent = nullptr);
    ~WaylandActivitySource() override;

    bool isAvailable() override;
    QString unavailableReason() const override { return m_unavailableReason; }
    std::optional<ListenerId> start(Listener listener) override;
    void stop(ListenerId id) override;
    // Wayland keeps the pointer's position to the window under it.
    std::optional<QPoint> pointerPosition() override { return std::nullopt; }

    // What this session offers, probing once; None when nothing does.
    Mechanism mechanism();

private:
    bool arm();
    void disarm();
    void idled();
    void resumed();
    void dispatch();
    Q_SLOT void watchFired(uint id);
    bool addMutterWatches();

    WaylandConnection* m_connection;
    QDBusConnection m_bus;
    std::optional<Mechanism> m_mechanism;
    QString m_unavailableReason;
    ext_idle_notifier_v1* m_extNotifier = nullptr;
    ext_idle_notification_v1* m_extNotification = nullptr;
    org_kde_kwin_idle* m_kdeIdle = nullptr;
    org_kde_kwin_idle_timeout* m_kdeTimeout = nullptr;
    uint m_mutterIdleWatch = 0;
    uint m_mutterActiveWatch = 0;
    bool m_armed = false;
    QTimer m_activeTick; // once a second between resumption and idleness
    std::map<ListenerId, Listener> m_listeners;
    ListenerId m_nextListenerId = 1;
};

} // namespace norvane
