// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Records.h"

#include <QList>
#include <QString>

#include <optional>

namespace norvane {

// What a desktop backend reads about the frontmost application and its windows. The backend only fills
// these; the rules that turn them into a FrontmostWindowInfo are platform-free (chooseFrontmostWindow).

struct FrontmostApplication {
    qint64 processIdentifier = 0;
    std::optional<QString> localizedName;    // X11: the class part of WM_CLASS
    std::optional<QString> bundleIdentifier; // X11: /proc/<pid>/comm
    QStringList classNames;                  // X11: both parts of WM_CLASS
};

// One entry of the on-screen window list, front to back. Absent fields follow the documented defaults:
// no owner never matches, a missing layer counts as 0, a missing alpha counts as visible.
struct WindowListEntry {
    std::optional<quint32> windowNumber;
    std::optional<qint64> ownerProcessIdentifier;
    std::optional<int> layer;    // 0 for normal application windows
    std::optional<double> alpha; // > 0 when visible
    std::optional<QString> name; // the window's title as listed
};

// The focused window of the frontmost application, as read (title untrimmed).
struct FocusedWindowInfo {
    std::optional<quint32> windowNumber;
    std::optional<QString> title;
    bool isFullScreen = false;
};

struct WindowSnapshot {
    std::optional<FrontmostApplication> application;
    QList<WindowListEntry> windows; // front to back
    std::optional<FocusedWindowInfo> focused;
};

// The window choice and title rules: the focused window by number when one is known (no fallback), else
// the first normal, visible window of the application's process; title from the focused window, then the
// list, then "Untitled Window"; own app by process identifier or by the name "Norvane".
std::optional<FrontmostWindowInfo> chooseFrontmostWindow(const WindowSnapshot& snapshot,
                                                         qint64 ownProcessIdentifier);

} // namespace norvane
