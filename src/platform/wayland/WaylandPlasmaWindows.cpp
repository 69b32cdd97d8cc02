// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandPlasmaWindows.h"

#include "WaylandConnection.h"

#include "plasma-window-management-client-protocol.h"

#include <algorithm>

namespace norvane {

namespace {

// Version 4 lets a window proxy be destroyed; later versions add the place and the uuid announcements.
constexpr uint32_t kMinimumVersion = 4;
constexpr uint32_t kUuidVersion = 13;

} // namespace

struct WaylandPlasmaWindows::Entry {
    WaylandPlasmaWindows* owner = nullptr;
    org_kde_plasma_window* proxy = nullptr;
    WaylandWindow window;
    bool announced = false; // the initial state arrived, and the window is still mapped
};

WaylandPlasmaWindows::WaylandPlasmaWindows(WaylandConnection* connection, QString ownAppId, QObject* parent)
    : QObject(parent), m_connection(connection), m_ownAppId(std::move(ownAppId)) {
    connect(m_connection, &WaylandConnection::lost, this, &WaylandPlasmaWindows::forget);
}

WaylandPlasmaWindows::~WaylandPlasmaWindows() {
    forget();
}

void WaylandPlasmaWindows::forget() {
    for (const auto& entry : m_entries)
        org_kde_plasma_window_destroy(entry->proxy);
    m_entries.clear();
    if (m_management)
        org_kde_plasma_window_management_destroy(m_management);
    m_management = nullptr;
}

bool WaylandPlasmaWindows::isAvailable() {
    if (m_management)
        return true;
    static const org_kde_plasma_window_management_listener listener = {
        [](void*, org_kde_plasma_window_management*, uint32_t) {},
        [](void* data, org_kde_plasma_window_management* management, uint32_t id) {
            auto* self = static_cast<WaylandPlasmaWindows*>(data);
            if (self->m_version < kUuidVersion) // later versions announce each window again by uuid
                self->track(org_kde_plasma_window_management_get_window(management, id));
        },
        [](void*, org_kde_plasma_window_management*, wl_array*) {},
        [](void*, org_kde_plasma_window_management*, const char*) {},
        [](void* data, org_kde_plasma_window_management* management, uint32_t, const char* uuid) {
            static_cast<WaylandPlasmaWindows*>(data)->track(
                org_kde_plasma_window_management_get_window_by_uuid(management, uuid));
        },
    };
    if (!m_connection->ensureConnected() ||
        !m_connection->hasGlobal(org_kde_plasma_window_management_interface.name))
        return false;
    m_management = static_cast<org_kde_plasma_window_management*>(
        m_connection->bind(&org_kde_plasma_window_management_interface, 16, &m_version));
    if (m_management && m_version < kMinimumVersion) {
        org_kde_plasma_window_management_destroy(m_management);
        m_management = nullptr;
    }
    if (!m_management)
        return false;
    org_kde_plasma_window_management_add_listener(m_management, &listener, this);
    // The windows that exist arrive at once, their states with the second round trip.
    m_connection->roundTrip();
    m_connection->roundTrip();
    return m_management != nullptr;
}

void WaylandPlasmaWindows::track(org_kde_plasma_window* proxy) {
    static const org_kde_plasma_window_listener listener = {
        [](void* data, org_kde_plasma_window*, const char* title) {
            static_cast<Entry*>(data)->window.title = QString::fromUtf8(title);
        },
        [](void* data, org_kde_plasma_window*, const char* appId) {
            static_cast<Entry*>(data)->window.appId = QString::fromUtf8(appId);
        },
        [](void* data, org_kde_plasma_window*, uint32_t flags) {
            WaylandWindow& window = static_cast<Entry*>(data)->window;
            window.activated = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
            window.minimized = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED;
            window.fullScreen = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_FULLSCREEN;
        },
        [](void*, org_kde_plasma_window*, int32_t) {},
        [](void*, org_kde_plasma_window*, const char*) {},
        [](void* data, org_kde_plasma_window*) {
            // Gone: the proxy is released here, inside its own event, which libwayland allows.
            auto* entry = static_cast<Entry*>(data);
            auto& entries = entry->owner->m_entries;
            org_kde_plasma_window_destroy(entry->proxy);
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [entry](const auto& candidate) { return candidate.get() == entry; }),
                          entries.end());
        },
        [](void* data, org_kde_plasma_window*) { static_cast<Entry*>(data)->announced = true; },
        [](void*, org_kde_plasma_window*, org_kde_plasma_window*) {},
        [](void* data, org_kde_plasma_window*, int32_t x, int32_t y, uint32_t width, uint32_t height) {
            static_cast<Entry*>(data)->window.geometry = QRect(x, y, int(width), int(height));
        },
        [](void*, org_kde_plasma_window*) {},
        [](void* data, org_kde_plasma_window*, uint32_t pid) {
            static_cast<Entry*>(data)->window.processIdentifier = pid;
        },
        [](void*, org_kde_plasma_window*, const char*) {},
        [](void*, org_kde_plasma_window*, const char*) {},
        [](void*, org_kde_plasma_window*, const char*, const char*) {},
        [](void*, org_kde_plasma_window*, const char*) {},
        [](void*, org_kde_plasma_window*, const char*) {},
        [](void*, org_kde_plasma_window*, const char*) {},
    };
    auto entry = std::make_unique<Entry>();
    entry->owner = this;
    entry->proxy = proxy;
    entry->window.number = m_nextNumber++;
    org_kde_plasma_window_add_listener(proxy, &listener, entry.get());
    m_entries.push_back(std::move(entry));
}

QList<WaylandWindow> WaylandPlasmaWindows::windows() const {
    QList<WaylandWindow> windows;
    for (const auto& entry : m_entries)
        if (entry->announced)
            windows.append(entry->window);
    return windows;
}

} // namespace norvane
