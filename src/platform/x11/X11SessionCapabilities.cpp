#include "X11SessionCapabilities.h"

#include "X11Connection.h"
#include "monitoring/InputEventSource.h"

namespace norvane {

QList<SessionCapability> x11SessionCapabilities(X11Connection* connection, InputEventSource* input) {
    const bool display = connection && connection->ensureConnected();
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    const auto entry = [](const char* name, bool available, const char* purpose, const char* remedy) {
        return SessionCapability{QString::fromUtf8(name), available,
                                 QString::fromUtf8(available ? purpose : remedy)};
    };
    return {
        display ? entry("X display", true, "Norvane can see the windows of this session.", "")
                : SessionCapability{QStringLiteral("X display"), false,
                                    connection ? connection->unavailableReason()
                                               : QStringLiteral("No X display is reachable.")},
        entry("Keyboard and mouse activity", display && input && input->isAvailable(),
              "XInput 2 tells Norvane when you are active, without reading what you type.",
              "Needs the XInput 2.2 extension of the X server; without it no activity starts a capture."),
        entry("Covered windows", display && connection->hasComposite(),
              "Composite gives the true contents of a window even where others cover it.",
              "Without the Composite extension, covered parts of a window are captured as the screen shows "
              "them."),
        entry("Fast capture", display && connection->hasShm(),
              "MIT-SHM hands each picture over in shared memory.",
              "Without MIT-SHM (for example over a remote X connection), pictures are copied over the "
              "connection, which is slower."),
        entry("Native Wayland windows", !wayland,
              "This is an X11 session: every window is visible to Norvane.",
              "This is a Wayland session: Norvane sees only applications that run through XWayland. Log "
              "in to an X11 session to include the others."),
    };
}

} // namespace norvane
