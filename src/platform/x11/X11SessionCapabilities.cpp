// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "X11SessionCapabilities.h"

#include "X11Connection.h"
#include "monitoring/InputEventSource.h"

#include <QCoreApplication>

namespace norvane {

namespace {

QString translated(const char* text) {
    return QCoreApplication::translate("SessionCapabilities", text);
}

} // namespace

QList<SessionCapability> x11SessionCapabilities(X11Connection* connection, InputEventSource* input) {
    const bool display = connection && connection->ensureConnected();
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    // Shown on the settings window's cards, so in the user's language.
    const auto entry = [](const char* name, bool available, const char* purpose, const char* remedy) {
        return SessionCapability{translated(name), available, translated(available ? purpose : remedy)};
    };
    return {
        display
            ? entry(QT_TRANSLATE_NOOP("SessionCapabilities", "X display"), true,
                    QT_TRANSLATE_NOOP("SessionCapabilities", "Norvane can see the windows of this session."),
                    "")
            : SessionCapability{translated(QT_TRANSLATE_NOOP("SessionCapabilities", "X display")), false,
                                connection ? connection->unavailableReason()
                                           : translated(QT_TRANSLATE_NOOP("SessionCapabilities",
                                                                          "No X display is reachable."))},
        entry(
            QT_TRANSLATE_NOOP("SessionCapabilities", "Keyboard and mouse activity"),
            display && input && input->isAvailable(),
            QT_TRANSLATE_NOOP("SessionCapabilities",
                              "XInput 2 tells Norvane when you are active, without reading what you type."),
            QT_TRANSLATE_NOOP(
                "SessionCapabilities",
                "Needs the XInput 2.2 extension of the X server; without it no activity starts a capture.")),
        entry(
            QT_TRANSLATE_NOOP("SessionCapabilities", "Covered windows"),
            display && connection->hasComposite(),
            QT_TRANSLATE_NOOP("SessionCapabilities",
                              "Composite gives the true contents of a window even where others cover it."),
            QT_TRANSLATE_NOOP(
                "SessionCapabilities",
                "Without the Composite extension, covered parts of a window are captured as the screen shows "
                "them.")),
        entry(QT_TRANSLATE_NOOP("SessionCapabilities", "Fast capture"), display && connection->hasShm(),
              QT_TRANSLATE_NOOP("SessionCapabilities", "MIT-SHM hands each picture over in shared memory."),
              QT_TRANSLATE_NOOP(
                  "SessionCapabilities",
                  "Without MIT-SHM (for example over a remote X connection), pictures are copied over the "
                  "connection, which is slower.")),
        entry(QT_TRANSLATE_NOOP("SessionCapabilities", "Native Wayland windows"), !wayland,
              QT_TRANSLATE_NOOP("SessionCapabilities",
                                "This is an X11 session: every window is visible to Norvane."),
              QT_TRANSLATE_NOOP(
                  "SessionCapabilities",
                  "This is a Wayland session, but Norvane was started for X11 (NORVANE_PLATFORM=x11), so it "
                  "sees only applications that run through XWayland. Start it without that setting to use "
                  "its Wayland support.")),
    };
}

} // namespace norvane
