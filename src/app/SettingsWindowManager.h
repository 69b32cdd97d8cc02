// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "SettingsController.h"
#include "ShellCommands.h"
#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QPointer>
#include <QQuickView>

#include <functional>
#include <memory>

namespace norvane {

// Shows a window of ours (restoring it when minimized) and brings it to the front with the focus.
void bringForward(QWindow* window);

// Owns the one settings window. It is made on the first show(), hidden (never destroyed) on close, and
// each show() installs a fresh view for the requested mode in the same window, retitles it and brings it
// to the front above normal windows.
class SettingsWindowManager : public QObject, public SettingsWindowPresenting {
    Q_OBJECT
public:
    static constexpr int contentWidth = 520;
    static constexpr int contentHeight = 700;

    SettingsWindowManager(AppState* appState, GeminiGenerating* gemini, PermissionProviding* permissions,
                          Clock* clock, QObject* parent = nullptr);
    ~SettingsWindowManager() override;

    static SettingsWindowManager* shared();

    // Set after construction, since the monitoring service and the shell commands refer back to this
    // window. A provider is asked at each show(), so neither has to exist before the window is needed.
    void setMonitoring(MonitoringControlling* monitoring) {
        m_monitoring = [monitoring] { return monitoring; };
    }
    void setMonitoringProvider(std::function<MonitoringControlling*()> provider) {
        m_monitoring = std::move(provider);
    }
    void setShellCommands(ShellCommands* commands) {
        m_commands = [guarded = QPointer<ShellCommands>(commands)] { return guarded.data(); };
    }
    void setShellCommandsProvider(std::function<ShellCommands*()> provider) {
        m_commands = std::move(provider);
    }

    void setCaptureRetentionProvider(std::function<CaptureRetention*()> provider) {
        m_captures = std::move(provider);
    }

    void show(SettingsPresentationMode mode) override;

    static QString titleFor(SettingsPresentationMode mode);

    // The window, once shown; null before the first show().
    QQuickView* window() const { return m_window.get(); }
    SettingsController* controller() const { return m_controller; }

private:
    void createWindow();

    AppState* m_appState;
    GeminiGenerating* m_gemini;
    PermissionProviding* m_permissions;
    Clock* m_clock;
    std::function<MonitoringControlling*()> m_monitoring;
    std::function<ShellCommands*()> m_commands;
    std::function<CaptureRetention*()> m_captures;
    std::unique_ptr<QQuickView> m_window;
    QPointer<SettingsController> m_controller;
};

} // namespace norvane
