// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/WindowChoice.h"
#include "model/ServiceInterfaces.h"

#include <QObject>

#include <memory>
#include <vector>

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct wl_output;

namespace norvane {

class WaylandConnection;

// The compositor's list of application windows, through wlroots' foreign-toplevel management (Sway,
// Hyprland, labwc, Wayfire and other wlroots compositors). Each window gets a number of Norvane's own,
// stable while it exists; the frontmost one is the window the compositor marks activated.
class WaylandToplevels : public QObject, public FrontmostWindowProviding {
    Q_OBJECT
public:
    // `ownAppId` is the application id Norvane's own windows carry.
    WaylandToplevels(WaylandConnection* connection, QString ownAppId, QObject* parent = nullptr);
    ~WaylandToplevels() override;

    // Whether the compositor offers the list; starts following it on first use.
    bool isAvailable();

    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override;

    struct Toplevel {
        quint32 number = 0;
        QString title;
        QString appId;
        bool activated = false;
        bool fullScreen = false;
        bool minimized = false;
        QList<wl_output*> outputs; // where it shows
    };
    // A window by its number, while it exists.
    std::optional<Toplevel> toplevel(quint32 number) const;
    WindowSnapshot snapshot() const;

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
