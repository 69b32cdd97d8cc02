// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "WaylandWindowList.h"

#include <QObject>

#include <memory>
#include <vector>

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace norvane {

class WaylandConnection;

// The window list of wlroots compositors (Sway, Hyprland, labwc, Wayfire and others), through
// foreign-toplevel management. It names each window's application id, title and state, but neither its
// process nor its place.
class WaylandToplevels : public QObject, public WaylandWindowList {
    Q_OBJECT
public:
    // `ownAppId` is the application id Norvane's own windows carry.
    WaylandToplevels(WaylandConnection* connection, QString ownAppId, QObject* parent = nullptr);
    ~WaylandToplevels() override;

    bool isAvailable() override;
    QList<WaylandWindow> windows() const override;

protected:
    QString ownAppId() const override { return m_ownAppId; }

private:
    struct Entry;
    static void handleToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                               zwlr_foreign_toplevel_handle_v1* handle);
    void forget();

    WaylandConnection* m_connection;
    QString m_ownAppId;
    zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
    std::vector<std::unique_ptr<Entry>> m_entries; // in the order the compositor announced them
    quint32 m_nextNumber = 1;
};

} // namespace norvane
