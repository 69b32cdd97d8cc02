// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/WindowChoice.h"
#include "model/ServiceInterfaces.h"

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

struct wl_output;

namespace norvane {

// One application window as a compositor describes it to a privileged client.
struct WaylandWindow {
    quint32 number = 0; // Norvane's own, stable while the window exists
    QString title;
    QString appId;
    qint64 processIdentifier = 0; // 0 where the protocol does not say
    bool activated = false;
    bool fullScreen = false;
    bool minimized = false;
    QList<wl_output*> outputs;     // where it shows, where the protocol says
    std::optional<QRect> geometry; // in the compositor's layout coordinates, where the protocol says
};

// The compositor's list of application windows; the frontmost one is the window it marks active.
class WaylandWindowList : public FrontmostWindowProviding {
public:
    // Whether the compositor offers the list; starts following it on first use.
    virtual bool isAvailable() = 0;
    virtual QList<WaylandWindow> windows() const = 0;

    std::optional<WaylandWindow> window(quint32 number) const;
    // The active window as the platform-free choice rules read it; Norvane's own windows are known by
    // process where the protocol names one, else by `ownAppId`.
    WindowSnapshot snapshot(const QString& ownAppId) const;
    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override;

protected:
    virtual QString ownAppId() const = 0;
};

} // namespace norvane
