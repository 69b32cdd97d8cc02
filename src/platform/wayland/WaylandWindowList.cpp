// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandWindowList.h"

#include <QCoreApplication>

#include <algorithm>

namespace norvane {

std::optional<WaylandWindow> WaylandWindowList::window(quint32 number) const {
    for (const WaylandWindow& window : windows())
        if (window.number == number)
            return window;
    return std::nullopt;
}

WindowSnapshot WaylandWindowList::snapshot(const QString& ownAppId) const {
    WindowSnapshot snapshot;
    const QList<WaylandWindow> all = windows();
    const auto active = std::find_if(all.begin(), all.end(), [](const WaylandWindow& window) {
        return window.activated && !window.minimized;
    });
    if (active == all.end())
        return snapshot;
    FrontmostApplication application;
    application.processIdentifier = active->processIdentifier;
    if (!application.processIdentifier && !ownAppId.isEmpty() &&
        active->appId.compare(ownAppId, Qt::CaseInsensitive) == 0)
        application.processIdentifier = QCoreApplication::applicationPid();
    if (!active->appId.isEmpty()) {
        application.localizedName = active->appId;
        application.classNames = {active->appId};
    }
    snapshot.application = application;
    WindowListEntry entry;
    entry.windowNumber = active->number;
    entry.ownerProcessIdentifier = application.processIdentifier;
    entry.name = active->title;
    snapshot.windows = {entry};
    snapshot.focused = FocusedWindowInfo{active->number, active->title, active->fullScreen};
    return snapshot;
}

std::optional<FrontmostWindowInfo> WaylandWindowList::frontmostWindowInfo() {
    if (!isAvailable())
        return std::nullopt;
    return chooseFrontmostWindow(snapshot(ownAppId()), QCoreApplication::applicationPid());
}

} // namespace norvane
