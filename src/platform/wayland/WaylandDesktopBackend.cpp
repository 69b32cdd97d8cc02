// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "platform/DesktopBackend.h"

#include "PortalScreenCast.h"
#include "WaylandActivitySource.h"
#include "WaylandConnection.h"
#include "WaylandPlasmaWindows.h"
#include "WaylandScreencopy.h"
#include "WaylandToplevels.h"
#include "WaylandWindowCapture.h"
#include "model/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace norvane {

namespace {

QString translated(const char* text) {
    return QCoreApplication::translate("SessionCapabilities", text);
}

QString ownAppId() {
    const QString desktopFile = QGuiApplication::desktopFileName();
    return desktopFile.isEmpty() ? QStringLiteral("norvane") : desktopFile;
}

// The window list the compositor offers: wlroots' or KDE's. Where it names no windows, the whole screen
// stands in for the frontmost one.
class WaylandWindows final : public WaylandWindowList {
public:
    WaylandWindows(WaylandToplevels* toplevels, WaylandPlasmaWindows* plasma)
        : m_toplevels(toplevels), m_plasma(plasma) {}
    bool isAvailable() override { return list() != nullptr; }
    QList<WaylandWindow> windows() const override {
        return m_list ? m_list->windows() : QList<WaylandWindow>();
    }
    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override {
        if (WaylandWindowList* windows = list())
            return windows->frontmostWindowInfo();
        return FrontmostWindowInfo{WaylandWindowCapture::kWholeScreen,
                                   translated(QT_TRANSLATE_NOOP("SessionCapabilities", "Screen")),
                                   translated(QT_TRANSLATE_NOOP("SessionCapabilities", "Whole screen")),
                                   false,
                                   {},
                                   false};
    }
    // Which protocol names the windows, for the settings window; empty when none does.
    QString protocol() {
        WaylandWindowList* windows = list();
        return windows == m_toplevels ? QStringLiteral("wlr-foreign-toplevel-management")
               : windows              ? QStringLiteral("KDE Plasma window management")
                                      : QString();
    }

protected:
    QString ownAppId() const override { return {}; }

private:
    WaylandWindowList* list() {
        if (!m_list)
            m_list = m_toplevels->isAvailable() ? static_cast<WaylandWindowList*>(m_toplevels)
                     : m_plasma->isAvailable()  ? static_cast<WaylandWindowList*>(m_plasma)
                                                : nullptr;
        return m_list;
    }

    WaylandToplevels* m_toplevels;
    WaylandPlasmaWindows* m_plasma;
    WaylandWindowList* m_list = nullptr;
};

// Capture is possible where the compositor copies the screen without asking (screencopy), else once the
// user has chosen what to share in the desktop portal's dialog.
class WaylandCaptureCheck final : public ScreenRecordingPermissionChecking {
public:
    WaylandCaptureCheck(WaylandConnection* connection, WaylandScreencopy* screencopy,
                        PortalScreenCast* portal)
        : m_connection(connection), m_screencopy(screencopy), m_portal(portal) {}
    bool hasScreenRecordingPermission() override {
        const bool possible = m_screencopy->isAvailable() || m_portal->isReady();
        if (!possible && !m_reported) {
            qCCritical(lcScreenshotService).noquote()
                << QStringLiteral("Screen capture is not possible: %1")
                       .arg(!m_connection->display() ? m_connection->unavailableReason()
                            : m_portal->isAvailable()
                                ? QStringLiteral(
                                      "nothing has been chosen to share in the desktop's dialog yet.")
                                : QStringLiteral("this Wayland compositor lets no program copy the screen, "
                                                 "and no screen-cast portal is running."));
        }
        m_reported = !possible;
        return possible;
    }
    bool canAskForConsent() override { return !m_screencopy->isAvailable() && m_portal->isAvailable(); }
    QCoro::Task<bool> askForConsent() override {
        if (!canAskForConsent())
            co_return false;
        co_return co_await m_portal->requestConsent();
    }

private:
    WaylandConnection* m_connection;
    WaylandScreencopy* m_screencopy;
    PortalScreenCast* m_portal;
    bool m_reported = false;
};

const QString kRestoreTokenKey = QStringLiteral("screen_cast_restore_token");

// Declared after what each is given, so they go in the reverse order.
class WaylandDesktopBackend final : public DesktopBackend {
public:
    explicit WaylandDesktopBackend(QSettings* store)
        : m_portal(
              QDBusConnection::sessionBus(),
              [store] { return store ? store->value(kRestoreTokenKey).toString() : QString(); },
              [store](const QString& token) {
                  if (store)
                      store->setValue(kRestoreTokenKey, token);
              }) {
        m_windowImages.setSharedScreen(&m_portal);
    }
    FrontmostWindowProviding* frontmostWindows() override { return &m_windows; }
    WindowImageCapturing* windowImages() override { return &m_windowImages; }
    ScreenRecordingPermissionChecking* permissionChecker() override { return &m_captureCheck; }
    InputEventSource* inputEvents() override { return &m_activity; }
    QList<SessionCapability> sessionCapabilities() override;

private:
    WaylandConnection m_connection;
    WaylandActivitySource m_activity{&m_connection, QDBusConnection::sessionBus()};
    WaylandToplevels m_toplevels{&m_connection, ownAppId()};
    WaylandPlasmaWindows m_plasmaWindows{&m_connection, ownAppId()};
    WaylandWindows m_windows{&m_toplevels, &m_plasmaWindows};
    WaylandScreencopy m_screencopy{&m_connection};
    PortalScreenCast m_portal;
    WaylandWindowCapture m_windowImages{&m_connection, &m_windows, &m_screencopy};
    WaylandCaptureCheck m_captureCheck{&m_connection, &m_screencopy, &m_portal};
};

QList<SessionCapability> WaylandDesktopBackend::sessionCapabilities() {
    using Mechanism = WaylandActivitySource::Mechanism;
    const auto entry = [](const char* name, bool available, const char* explanation) {
        return SessionCapability{translated(name), available, translated(explanation)};
    };
    const bool connected = m_connection.ensureConnected();
    QList<SessionCapability> cards;
    cards.append(connected ? entry(QT_TRANSLATE_NOOP("SessionCapabilities", "Wayland compositor"), true,
                                   QT_TRANSLATE_NOOP("SessionCapabilities",
                                                     "Norvane talks to this session's compositor directly."))
                           : SessionCapability{
                                 translated(QT_TRANSLATE_NOOP("SessionCapabilities", "Wayland compositor")),
                                 false, m_connection.unavailableReason()});

    const Mechanism activity = m_activity.mechanism();
    const char* activityName = QT_TRANSLATE_NOOP("SessionCapabilities", "Keyboard and mouse activity");
    switch (activity) {
    case Mechanism::ExtIdleNotify:
    case Mechanism::KdeIdle:
        cards.append(entry(activityName, true,
                           QT_TRANSLATE_NOOP("SessionCapabilities",
                                             "The compositor says when input starts and stops, to about a "
                                             "second. It does not say which key or button, and moving the "
                                             "pointer counts as activity too.")));
        break;
    case Mechanism::MutterIdleMonitor:
        cards.append(
            entry(activityName, true,
                  QT_TRANSLATE_NOOP("SessionCapabilities",
                                    "GNOME's idle monitor says when input starts and stops, to about "
                                    "a second. It does not say which key or button, and moving the "
                                    "pointer counts as activity too.")));
        break;
    case Mechanism::None:
        cards.append(SessionCapability{translated(activityName), false, m_activity.unavailableReason()});
        break;
    }

    const QString windowProtocol = m_windows.protocol();
    cards.append(
        !windowProtocol.isEmpty()
            ? SessionCapability{translated(QT_TRANSLATE_NOOP("SessionCapabilities", "Active window")), true,
                                translated(QT_TRANSLATE_NOOP("SessionCapabilities",
                                                             "The compositor names the active window and its "
                                                             "application (%1)."))
                                    .arg(windowProtocol)}
            : entry(QT_TRANSLATE_NOOP("SessionCapabilities", "Active window"), false,
                    QT_TRANSLATE_NOOP("SessionCapabilities",
                                      "This compositor does not tell other programs which window is active "
                                      "(GNOME needs an extension for that), so Norvane captures the whole "
                                      "screen in place of one window.")));

    const bool screencopy = m_screencopy.isAvailable();
    const char* captureName = QT_TRANSLATE_NOOP("SessionCapabilities", "Window capture");
    if (screencopy && m_windowImages.knowsWindowPlaces())
        cards.append(
            entry(captureName, true,
                  QT_TRANSLATE_NOOP("SessionCapabilities",
                                    "Screencopy copies the active window's part of the screen without a "
                                    "dialog; Sway says where the window lies. A window that Norvane's "
                                    "own card covers is not captured.")));
    else if (screencopy)
        cards.append(
            entry(captureName, true,
                  QT_TRANSLATE_NOOP("SessionCapabilities",
                                    "Screencopy copies the whole screen that shows the active window: "
                                    "this compositor does not say where windows lie, so other windows "
                                    "on that screen are in the picture too.")));
    else if (m_portal.isAvailable())
        cards.append(
            entry(captureName, m_portal.isReady(),
                  !windowProtocol.isEmpty()
                      ? QT_TRANSLATE_NOOP("SessionCapabilities",
                                          "Pictures come from what you share through the desktop's "
                                          "dialog. Share a whole screen and Norvane cuts the active "
                                          "window out of it where the compositor says where it lies; "
                                          "share one window and only that window is seen.")
                      : QT_TRANSLATE_NOOP("SessionCapabilities",
                                          "Pictures come from what you share through the desktop's "
                                          "dialog: the whole shared screen, or the one shared "
                                          "window.")));
    else
        cards.append(
            entry(captureName, false,
                  QT_TRANSLATE_NOOP("SessionCapabilities",
                                    "This compositor lets no program copy the screen without asking, "
                                    "and no screen-cast portal is running (install xdg-desktop-portal and "
                                    "your desktop's backend for it), so no capture is possible.")));
    if (!screencopy && m_portal.isAvailable())
        cards.append(SessionCapability{translated(QT_TRANSLATE_NOOP("SessionCapabilities", "Screen sharing")),
                                       m_portal.isReady(), m_portal.statusSentence()});
    return cards;
}

} // namespace

std::unique_ptr<DesktopBackend> makeWaylandDesktopBackend(QSettings* store) {
    return std::make_unique<WaylandDesktopBackend>(store);
}

} // namespace norvane
