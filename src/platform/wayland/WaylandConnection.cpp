// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandConnection.h"

#include "model/Logging.h"

#include <wayland-client.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace norvane {

namespace {

void ignoreGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {}
void ignoreMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void ignoreDone(void*, wl_output*) {}
void ignoreScale(void*, wl_output*, int32_t) {}
void ignoreDescription(void*, wl_output*, const char*) {}

} // namespace

WaylandConnection::WaylandConnection(QObject* parent) : WaylandConnection(QString(), parent) {}

WaylandConnection::WaylandConnection(const QString& displayName, QObject* parent)
    : QObject(parent), m_displayName(displayName) {}

WaylandConnection::~WaylandConnection() {
    disconnectFromCompositor();
}

bool WaylandConnection::ensureConnected() {
    if (m_display && wl_display_get_error(m_display) == 0)
        return true;
    disconnectFromCompositor();
    return connectToCompositor();
}

bool WaylandConnection::connectToCompositor() {
    const QByteArray name = m_displayName.toLocal8Bit();
    const QString shown = m_displayName.isEmpty() ? qEnvironmentVariable("WAYLAND_DISPLAY") : m_displayName;
    if (shown.isEmpty()) {
        m_unavailableReason =
            QStringLiteral("No Wayland display is set (WAYLAND_DISPLAY is empty), so Norvane cannot see "
                           "windows or activity through Wayland.");
        return false;
    }
    m_display = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!m_display) {
        m_unavailableReason = QStringLiteral("The Wayland display \"%1\" cannot be reached.").arg(shown);
        return false;
    }
    static const wl_registry_listener registryListener = {&WaylandConnection::handleGlobal,
                                                          &WaylandConnection::handleGlobalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    // The first round trip lists the globals; the second brings the outputs' names.
    if (!roundTrip() || !roundTrip()) {
        m_unavailableReason = QStringLiteral("The Wayland display \"%1\" closed the connection.").arg(shown);
        disconnectFromCompositor();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &WaylandConnection::readEvents);
    m_unavailableReason.clear();
    ++m_generation;
    return true;
}

void WaylandConnection::disconnectFromCompositor() {
    if (!m_display)
        return;
    m_notifier.reset();
    for (const Output& output : std::as_const(m_outputs))
        wl_output_destroy(output.output);
    m_outputs.clear();
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_seat = nullptr;
    m_shm = nullptr;
    m_registry = nullptr;
    m_globals.clear();
    wl_display_disconnect(m_display);
    m_display = nullptr;
}

void WaylandConnection::handleGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                                     uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    self->m_globals.append({name, QByteArray(interface), version});
    if (strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (strcmp(interface, wl_shm_interface.name) == 0 && !self->m_shm) {
        self->m_shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (strcmp(interface, wl_output_interface.name) == 0 && version >= 4) {
        // Version 4 names the output, which is how the compositor's other interfaces refer to it.
        static const wl_output_listener outputListener = {
            ignoreGeometry,
            ignoreMode,
            ignoreDone,
            ignoreScale,
            [](void* data, wl_output* output, const char* outputName) {
                auto* self = static_cast<WaylandConnection*>(data);
                for (Output& known : self->m_outputs)
                    if (known.output == output)
                        known.name = QString::fromUtf8(outputName);
            },
            ignoreDescription};
        auto* output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 4));
        wl_output_set_user_data(output, reinterpret_cast<void*>(uintptr_t(name)));
        wl_output_add_listener(output, &outputListener, self);
        self->m_outputs.append({output, QString()});
    }
}

void WaylandConnection::handleGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    self->m_globals.removeIf([name](const Global& global) { return global.name == name; });
    self->m_outputs.removeIf([name](const Output& output) {
        if (uintptr_t(wl_output_get_user_data(output.output)) != name)
            return false;
        wl_output_destroy(output.output);
        return true;
    });
}

bool WaylandConnection::hasGlobal(const char* interface) const {
    return std::any_of(m_globals.begin(), m_globals.end(),
                       [interface](const Global& global) { return global.interface == interface; });
}

void* WaylandConnection::bind(const wl_interface* interface, uint32_t maxVersion, uint32_t* boundVersion) {
    if (!ensureConnected())
        return nullptr;
    for (const Global& global : std::as_const(m_globals)) {
        if (global.interface != interface->name)
            continue;
        const uint32_t version = std::min({maxVersion, global.version, uint32_t(interface->version)});
        if (boundVersion)
            *boundVersion = version;
        return wl_registry_bind(m_registry, global.name, interface, version);
    }
    return nullptr;
}

wl_output* WaylandConnection::outputNamed(const QString& name) const {
    for (const Output& output : m_outputs)
        if (output.name == name)
            return output.output;
    return nullptr;
}

bool WaylandConnection::roundTrip() {
    return m_display && wl_display_roundtrip(m_display) >= 0 && checkError();
}

void WaylandConnection::flush() {
    if (m_display)
        wl_display_flush(m_display);
}

void WaylandConnection::readEvents() {
    if (!m_display)
        return;
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    wl_display_flush(m_display);
    if (wl_display_read_events(m_display) < 0 && errno != EAGAIN) {
        checkError();
        return;
    }
    wl_display_dispatch_pending(m_display);
    checkError();
}

bool WaylandConnection::checkError() {
    const int error = wl_display_get_error(m_display);
    if (error == 0)
        return true;
    qCCritical(lcDesktopSession).noquote()
        << QStringLiteral("The connection to the Wayland compositor was lost (%1).")
               .arg(QString::fromLocal8Bit(strerror(error)));
    // Whoever made objects on it drops them before the connection goes.
    Q_EMIT lost();
    m_unavailableReason = QStringLiteral("The Wayland compositor closed the connection.");
    disconnectFromCompositor();
    return false;
}

} // namespace norvane
