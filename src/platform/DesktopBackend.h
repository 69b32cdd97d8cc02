// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/ServiceInterfaces.h"

#include <QProcessEnvironment>
#include <QSettings>

#include <memory>

namespace norvane {

class InputEventSource;

// What Norvane needs from the desktop session, from one backend for the whole run.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;

    virtual FrontmostWindowProviding* frontmostWindows() = 0;
    virtual WindowImageCapturing* windowImages() = 0;
    virtual ScreenRecordingPermissionChecking* permissionChecker() = 0;
    virtual InputEventSource* inputEvents() = 0;
    // The settings window's cards: what this session lets Norvane do, and the remedy where it does not.
    virtual QList<SessionCapability> sessionCapabilities() = 0;
};

enum class DesktopBackendKind { X11, Wayland };

struct DesktopBackendChoice {
    DesktopBackendKind kind = DesktopBackendKind::X11;
    QString reason; // for the log: what in the environment decided it
};

// NORVANE_PLATFORM (x11 or wayland) first, then XDG_SESSION_TYPE, then which displays are set.
DesktopBackendChoice chooseDesktopBackend(const QProcessEnvironment& environment);

std::unique_ptr<DesktopBackend> makeX11DesktopBackend();
// `store` keeps what the desktop lets Norvane reuse across runs (the screen-sharing choice).
std::unique_ptr<DesktopBackend> makeWaylandDesktopBackend(QSettings* store);

} // namespace norvane
