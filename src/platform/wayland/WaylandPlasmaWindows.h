// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "WaylandWindowList.h"

#include <QObject>

#include <memory>
#include <vector>

struct org_kde_plasma_window_management;
struct org_kde_plasma_window;

namespace norvane {

class WaylandConnection;

// KDE Plasma's window list, through its window-management protocol. It names each window's process and
// place besides its application id, title and state. KWin offers it only to programs whose desktop entry
// asks for it (X-KDE-Wayland-Interfaces), as Norvane's does.
class WaylandPlasmaWindows : public QObject, public WaylandWindowList {
    Q_OBJECT
public:
    WaylandPlasmaWindows(WaylandConnection* connection, QString ownAppId, QObject* parent = nullptr);
    ~WaylandPlasmaWindows() override;

    bool isAvailable() override;
    QList<WaylandWindow> windows() const override;

protected:
    QString ownAppId() const override { return m_ownAppId; }

private:
    struct Entry;
    void track(org_kde_plasma_window* proxy);
    void forget();

    WaylandConnection* m_connection;
    QString m_ownAppId;
    org_kde_plasma_window_management* m_management = nullptr;
    uint32_t m_version = 0;
    std::vector<std::unique_ptr<Entry>> m_entries;
    quint32 m_nextNumber = 1;
};

} // namespace norvane
