// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "PermissionService.h"

#include "model/Logging.h"

#include <QDesktopServices>
#include <QGuiApplication>

namespace norvane {

PermissionService::PermissionService(ScreenRecordingPermissionChecking* displayCheck,
                                     std::function<QList<SessionCapability>()> capabilities, QObject* parent)
    : QObject(parent), m_displayCheck(displayCheck), m_capabilities(std::move(capabilities)) {}

QList<SessionCapability> PermissionService::sessionCapabilities() {
    return m_capabilities ? m_capabilities() : QList<SessionCapability>{};
}

bool PermissionService::canAskForCaptureConsent() {
    return m_displayCheck && m_displayCheck->canAskForConsent();
}

QCoro::Task<bool> PermissionService::askForCaptureConsent() {
    if (!m_displayCheck) // the check asks only where its desktop can be asked
        co_return false;
    co_return co_await m_displayCheck->askForConsent();
}

bool PermissionService::displayReachable() {
    if (m_displayCheck)
        return m_displayCheck->hasScreenRecordingPermission();
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    const auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection();
}

bool PermissionService::hasScreenRecordingPermission() {
    return displayReachable();
}

bool PermissionService::requestScreenRecordingPermission() {
    // There is no prompt to show: the answer is the current state.
    return hasScreenRecordingPermission();
}

void PermissionService::openScreenRecordingSettings() {
    open(m_screenRecordingSettingsURL, "screen recording");
}

bool PermissionService::hasAccessibilityPermission() {
    return displayReachable();
}

bool PermissionService::ensureAccessibilityAccessIfNeeded() {
    return requestAccessibilityAccess();
}

bool PermissionService::requestAccessibilityAccess() {
    if (hasAccessibilityPermission())
        return true;
    openAccessibilitySettings();
    return hasAccessibilityPermission();
}

void PermissionService::openAccessibilitySettings() {
    open(m_accessibilitySettingsURL, "accessibility");
}

void PermissionService::open(const std::optional<QUrl>& location, const char* what) {
    if (!location || !location->isValid()) {
        qCDebug(lcApp).noquote() << QStringLiteral(
                                        "No system settings pane for %1 on this desktop; nothing to open.")
                                        .arg(QLatin1String(what));
        return;
    }
    QDesktopServices::openUrl(*location);
}

} // namespace norvane
