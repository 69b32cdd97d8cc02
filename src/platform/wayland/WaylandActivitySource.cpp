// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandActivitySource.h"

#include "WaylandConnection.h"
#include "model/Logging.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace norvane {

namespace {

const QString kMutterService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kMutterPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString kMutterInterface = QStringLiteral("org.gnome.Mutter.IdleMonitor");
constexpr int kBusTimeoutMs = 1000;

template <typename Self> Self* self(void* data) {
    return static_cast<Self*>(data);
}

} // namespace

WaylandActivitySource::WaylandActivitySource(WaylandConnection* connection, QDBusConnection bus,
                                             QObject* parent)
    : QObject(parent), m_connection(connection), m_bus(std::move(bus)) {
    m_activeTick.setInterval(kIdleTimeoutMs);
    connect(&m_activeTick, &QTimer::timeout, this, &WaylandActivitySource::dispatch);
    connect(m_connection, &WaylandConnection::lost, this, [this] {
        disarm();
        m_mechanism.reset(); // probe again on the next connection
    });
}

WaylandActivitySource::~WaylandActivitySource() {
    disarm();
}

WaylandActivitySource::Mechanism WaylandActivitySource::mechanism() {
    if (m_mechanism)
        return *m_mechanism;
    if (m_connection->ensureConnected() && m_connection->seat()) {
        if (m_connection->hasGlobal(ext_idle_notifier_v1_interface.name))
            return *(m_mechanism = Mechanism::ExtIdleNotify);
        if (m_connection->hasGlobal(org_kde_kwin_idle_interface.name))
            return *(m_mechanism = Mechanism::KdeIdle);
    }
    if (m_bus.isConnected() && m_bus.interface() &&
        m_bus.interface()->isServiceRegistered(kMutterService).value())
        return *(m_mechanism = Mechanism::MutterIdleMonitor);
    m_unavailableReason =
        m_connection->display()
            ? QStringLiteral("This Wayland compositor tells no client when the keyboard and mouse are in use "
                             "(it offers neither ext-idle-notify-v1 nor org_kde_kwin_idle, and GNOME's idle "
                             "monitor is not on the session bus).")
            : m_connection->unavailableReason();
    return *(m_mechanism = Mechanism::None);
}

bool WaylandActivitySource::isAvailable() {
    return mechanism() != Mechanism::None;
}

std::optional<InputEventSource::ListenerId> WaylandActivitySource::start(Listener listener) {
    if (!m_armed && !arm())
        return std::nullopt;
    const ListenerId id = m_nextListenerId++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void WaylandActivitySource::stop(ListenerId id) {
    m_listeners.erase(id);
    if (m_listeners.empty())
        disarm();
}

bool WaylandActivitySource::arm() {
    switch (mechanism()) {
    case Mechanism::None:
        return false;
    case Mechanism::ExtIdleNotify: {
        static const ext_idle_notification_v1_listener listener = {
            [](void* data, ext_idle_notification_v1*) { self<WaylandActivitySource>(data)->idled(); },
            [](void* data, ext_idle_notification_v1*) { self<WaylandActivitySource>(data)->resumed(); }};
        m_extNotifier =
            static_cast<ext_idle_notifier_v1*>(m_connection->bind(&ext_idle_notifier_v1_interface, 1));
        if (!m_extNotifier)
            return false;
        m_extNotification =
            ext_idle_notifier_v1_get_idle_notification(m_extNotifier, kIdleTimeoutMs, m_connection->seat());
        ext_idle_notification_v1_add_listener(m_extNotification, &listener, this);
        break;
    }
    case Mechanism::KdeIdle: {
        static const org_kde_kwin_idle_timeout_listener listener = {
            [](void* data, org_kde_kwin_idle_timeout*) { self<WaylandActivitySource>(data)->idled(); },
            [](void* data, org_kde_kwin_idle_timeout*) { self<WaylandActivitySource>(data)->resumed(); }};
        m_kdeIdle = static_cast<org_kde_kwin_idle*>(m_connection->bind(&org_kde_kwin_idle_interface, 1));
        if (!m_kdeIdle)
            return false;
        m_kdeTimeout = org_kde_kwin_idle_get_idle_timeout(m_kdeIdle, m_connection->seat(), kIdleTimeoutMs);
        org_kde_kwin_idle_timeout_add_listener(m_kdeTimeout, &listener, this);
        break;
    }
    case Mechanism::MutterIdleMonitor:
        if (!m_bus.connect(kMutterService, kMutterPath, kMutterInterface, QStringLiteral("WatchFired"), this,
                           SLOT(watchFired(uint))) ||
            !addMutterWatches())
            return false;
        break;
    }
    m_connection->flush();
    m_armed = true;
    return true;
}

void WaylandActivitySource::disarm() {
    m_activeTick.stop();
    if (m_extNotification)
        ext_idle_notification_v1_destroy(m_extNotification);
    if (m_extNotifier)
        ext_idle_notifier_v1_destroy(m_extNotifier);
    if (m_kdeTimeout)
        org_kde_kwin_idle_timeout_release(m_kdeTimeout);
    if (m_kdeIdle)
        org_kde_kwin_idle_destroy(m_kdeIdle);
    m_extNotification = nullptr;
    m_extNotifier = nullptr;
    m_kdeTimeout = nullptr;
    m_kdeIdle = nullptr;
    if (m_mutterIdleWatch || m_mutterActiveWatch) {
        m_bus.disconnect(kMutterService, kMutterPath, kMutterInterface, QStringLiteral("WatchFired"), this,
                         SLOT(watchFired(uint)));
        for (const uint watch : {m_mutterIdleWatch, m_mutterActiveWatch}) {
            if (watch)
                m_bus.call(QDBusMessage::createMethodCall(kMutterService, kMutterPath, kMutterInterface,
                                                          QStringLiteral("RemoveWatch"))
                               << watch,
                           QDBus::NoBlock);
        }
        m_mutterIdleWatch = m_mutterActiveWatch = 0;
    }
    if (m_armed)
        m_connection->flush();
    m_armed = false;
}

bool WaylandActivitySource::addMutterWatches() {
    const auto call = [this](const QString& method, const QVariantList& arguments) -> uint {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kMutterService, kMutterPath, kMutterInterface, method);
        message.setArguments(arguments);
        const QDBusReply<uint> reply = m_bus.call(message, QDBus::Block, kBusTimeoutMs);
        return reply.isValid() ? reply.value() : 0;
    };
    if (!m_mutterIdleWatch)
        m_mutterIdleWatch =
            call(QStringLiteral("AddIdleWatch"), {QVariant::fromValue(quint64(kIdleTimeoutMs))});
    // A user-active watch fires once, so it is added again after each resumption.
    m_mutterActiveWatch = call(QStringLiteral("AddUserActiveWatch"), {});
    return m_mutterIdleWatch && m_mutterActiveWatch;
}

void WaylandActivitySource::watchFired(uint id) {
    if (id == 0)
        return;
    if (id == m_mutterIdleWatch) {
        idled();
    } else if (id == m_mutterActiveWatch) {
        m_mutterActiveWatch = 0;
        resumed();
        addMutterWatches();
    }
}

void WaylandActivitySource::idled() {
    m_activeTick.stop();
}

void WaylandActivitySource::resumed() {
    dispatch();
    m_activeTick.start();
}

void WaylandActivitySource::dispatch() {
    const InputEvent event{InputEventType::ActivityReported, 0};
    // A listener may stop itself or another one while being told.
    const auto listeners = m_listeners;
    for (const auto& [id, listener] : listeners)
        if (m_listeners.count(id))
            listener(event);
}

} // namespace norvane
