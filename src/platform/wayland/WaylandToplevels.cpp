// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandToplevels.h"

#include "WaylandConnection.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>

namespace norvane {

// One window: what the compositor last completed with `done`, and what it is sending now.
struct WaylandToplevels::Entry {
    WaylandToplevels* owner = nullptr;
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    WaylandWindow current;
    WaylandWindow pending;
    bool announced = false; // a first `done` arrived
};

WaylandToplevels::WaylandToplevels(WaylandConnection* connection, QString ownAppId, QObject* parent)
    : QObject(parent), m_connection(connection), m_ownAppId(std::move(ownAppId)) {
    connect(m_connection, &WaylandConnection::lost, this, &WaylandToplevels::forget);
}

WaylandToplevels::~WaylandToplevels() {
    forget();
}

void WaylandToplevels::forget() {
    for (const auto& entry : m_entries)
        zwlr_foreign_toplevel_handle_v1_destroy(entry->handle);
    m_entries.clear();
    if (m_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    m_manager = nullptr;
}

bool WaylandToplevels::isAvailable() {
    if (m_manager)
        return true;
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
        &WaylandToplevels::handleToplevel, [](void* data, zwlr_foreign_toplevel_manager_v1*) {
            // The compositor stopped sending the list.
            static_cast<WaylandToplevels*>(data)->forget();
        }};
    m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        m_connection->bind(&zwlr_foreign_toplevel_manager_v1_interface, 3));
    if (!m_manager)
        return false;
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &managerListener, this);
    // The windows that already exist arrive at once; later changes arrive with the event loop.
    m_connection->roundTrip();
    return m_manager != nullptr;
}

void WaylandToplevels::handleToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                      zwlr_foreign_toplevel_handle_v1* handle) {
    auto* self = static_cast<WaylandToplevels*>(data);
    auto entry = std::make_unique<Entry>();
    entry->owner = self;
    entry->handle = handle;
    entry->pending.number = self->m_nextNumber++;
    // Every event fills `pending`; `done` makes it current and `closed` drops the window.
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
            static_cast<Entry*>(data)->pending.title = QString::fromUtf8(title);
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
            static_cast<Entry*>(data)->pending.appId = QString::fromUtf8(appId);
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
            auto& outputs = static_cast<Entry*>(data)->pending.outputs;
            if (!outputs.contains(output))
                outputs.append(output);
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
            static_cast<Entry*>(data)->pending.outputs.removeAll(output);
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
            WaylandWindow& toplevel = static_cast<Entry*>(data)->pending;
            toplevel.activated = toplevel.fullScreen = toplevel.minimized = false;
            const auto* state = static_cast<const uint32_t*>(states->data);
            for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
                toplevel.activated |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
                toplevel.fullScreen |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN;
                toplevel.minimized |= state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
            }
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1*) {
            auto* entry = static_cast<Entry*>(data);
            entry->current = entry->pending;
            entry->announced = true;
        },
        [](void* data, zwlr_foreign_toplevel_handle_v1* handle) {
            auto* entry = static_cast<Entry*>(data);
            auto& entries = entry->owner->m_entries;
            zwlr_foreign_toplevel_handle_v1_destroy(handle);
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [entry](const auto& candidate) { return candidate.get() == entry; }),
                          entries.end());
        },
        [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
    };
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, entry.get());
    self->m_entries.push_back(std::move(entry));
}

QList<WaylandWindow> WaylandToplevels::windows() const {
    QList<WaylandWindow> windows;
    for (const auto& entry : m_entries)
        if (entry->announced)
            windows.append(entry->current);
    return windows;
}

} // namespace norvane
