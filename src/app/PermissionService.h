// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

namespace norvane {

// Reports and requests the two permissions capture depends on. On X11 nothing needs granting: capture
// works whenever the X display is reachable, and window titles are readable by any client. There is no
// system settings pane to open for either, so the "open settings" operations do nothing.
class PermissionService : public QObject, public PermissionProviding {
    Q_OBJECT
public:
    // `displayCheck` answers whether the X display is reachable; without one, Qt's own X connection counts.
    // `capabilities` lists what the session offers (see sessionCapabilities()).
    explicit PermissionService(ScreenRecordingPermissionChecking* displayCheck = nullptr,
                               std::function<QList<SessionCapability>()> capabilities = {},
                               QObject* parent = nullptr);

    static PermissionService* shared();

    bool hasScreenRecordingPermission() override;
    bool requestScreenRecordingPermission() override;
    void openScreenRecordingSettings() override;
    bool hasAccessibilityPermission() override;
    bool ensureAccessibilityAccessIfNeeded() override;
    QList<SessionCapability> sessionCapabilities() override;
    bool canAskForCaptureConsent() override;
    QCoro::Task<bool> askForCaptureConsent() override;
    bool requestAccessibilityAccess();
    void openAccessibilitySettings();

    const std::optional<QUrl>& screenRecordingSettingsURL() const { return m_screenRecordingSettingsURL; }
    const std::optional<QUrl>& accessibilitySettingsURL() const { return m_accessibilitySettingsURL; }

private:
    bool displayReachable();
    void open(const std::optional<QUrl>& location, const char* what);

    ScreenRecordingPermissionChecking* m_displayCheck;
    std::function<QList<SessionCapability>()> m_capabilities;
    // This desktop has no privacy pane to deep-link into; both stay empty.
    std::optional<QUrl> m_screenRecordingSettingsURL;
    std::optional<QUrl> m_accessibilitySettingsURL;
};

} // namespace norvane
