// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "DesktopBackend.h"

namespace norvane {

DesktopBackendChoice chooseDesktopBackend(const QProcessEnvironment& environment) {
    using Kind = DesktopBackendKind;
    const QString requested = environment.value(QStringLiteral("NORVANE_PLATFORM")).trimmed().toLower();
    QString ignored;
    if (requested == QLatin1String("x11"))
        return {Kind::X11, QStringLiteral("NORVANE_PLATFORM asks for it")};
    if (requested == QLatin1String("wayland"))
        return {Kind::Wayland, QStringLiteral("NORVANE_PLATFORM asks for it")};
    if (!requested.isEmpty())
        ignored = QStringLiteral("; NORVANE_PLATFORM=%1 was ignored: it takes x11 or wayland").arg(requested);

    const QString session = environment.value(QStringLiteral("XDG_SESSION_TYPE")).trimmed().toLower();
    if (session == QLatin1String("wayland"))
        return {Kind::Wayland, QStringLiteral("XDG_SESSION_TYPE is wayland") + ignored};
    if (session == QLatin1String("x11"))
        return {Kind::X11, QStringLiteral("XDG_SESSION_TYPE is x11") + ignored};
    // No session type (a terminal, a service, ssh): the displays that are set decide. A Wayland display
    // beside DISPLAY is the Wayland session with XWayland, where X11 would see only part of the desktop.
    if (!environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return {Kind::Wayland, QStringLiteral("WAYLAND_DISPLAY is set") + ignored};
    return {Kind::X11, (environment.value(QStringLiteral("DISPLAY")).isEmpty()
                            ? QStringLiteral("no Wayland display is set")
                            : QStringLiteral("DISPLAY is set and WAYLAND_DISPLAY is not")) +
                           ignored};
}

} // namespace norvane
