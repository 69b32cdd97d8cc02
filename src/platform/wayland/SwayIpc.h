// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace norvane {

// Where a window lies, as Sway's layout tree tells it. Foreign-toplevel management names windows but
// says nothing of their place, which a capture of the output needs.
struct SwayWindowPlace {
    QString outputName;
    QRect outputRect;  // in layout coordinates
    QRect contentRect; // the window without its borders and title bar, in layout coordinates
    qint64 processIdentifier = 0;
};

// Finds the visible window with `appId` (or X11 class, for XWayland windows) and `title`, preferring
// the focused one. Nothing when no visible window matches.
std::optional<SwayWindowPlace> findSwayWindow(const QJsonObject& tree, const QString& appId,
                                              const QString& title);
// The visible windows of process `processIdentifier`, in layout coordinates.
QList<QRect> swayWindowsOfProcess(const QJsonObject& tree, qint64 processIdentifier);

// The layout tree from Sway's IPC socket (SWAYSOCK); nothing when Sway does not answer within
// `timeoutMs`.
std::optional<QJsonObject> readSwayTree(const QString& socketPath, int timeoutMs = 500);

} // namespace norvane
