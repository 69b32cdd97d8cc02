// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SharedInstances.h"

#include "CaptureRetention.h"
#include "HistoryWindowManager.h"
#include "PermissionService.h"
#include "SettingsWindowManager.h"
#include "ShellCommands.h"
#include "analysis/GeminiClient.h"
#include "analysis/ModelClients.h"
#include "analysis/OpportunityAnalyzer.h"
#include "analysis/RecommendationEngine.h"
#include "capture/ScreenshotDiskStore.h"
#include "capture/ScreenshotService.h"
#include "capture/SentRequestLog.h"
#include "model/AppState.h"
#include "model/Logging.h"
#include "monitoring/InputActivityMonitor.h"
#include "monitoring/MonitoringService.h"
#include "nudge/NudgeCoordinator.h"
#include "nudge/NudgePanelController.h"
#include "nudge/SystemPasteboard.h"
#include "platform/DesktopBackend.h"
#include "platform/x11/X11WindowHints.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace norvane {

namespace {

// AppState presents through the nudge panel, which itself needs AppState: the panel is reached on the
// first nudge, not when the state is made.
class SharedNudgePresenter final : public NudgePresenting {
public:
    void presentOrUpdate() override { NudgePanelController::shared()->presentOrUpdate(); }
    void dismiss() override { NudgePanelController::shared()->dismiss(); }
};

GeminiClientLimits clientLimits(Clock* clock) {
    GeminiClientLimits limits;
    limits.clock = clock;
    return limits;
}

std::unique_ptr<DesktopBackend> makeDesktopBackend(QSettings* store) {
    const DesktopBackendChoice choice = chooseDesktopBackend(QProcessEnvironment::systemEnvironment());
    const bool wayland = choice.kind == DesktopBackendKind::Wayland;
    qCInfo(lcDesktopSession).noquote()
        << QStringLiteral("Desktop backend: %1, because %2.")
               .arg(wayland ? QStringLiteral("Wayland") : QStringLiteral("X11"), choice.reason);
    return wayland ? makeWaylandDesktopBackend(store) : makeX11DesktopBackend();
}

void prepareNudgeWindow(QWindow* window) {
    keepOutOfTaskbarAndPager(window);
    // Without a compositor the rounded corners would show black.
    NudgePanelController::setTranslucent(window, hasCompositingManager());
}

} // namespace

// Every service, declared after what its constructor is given, so C++ makes them in that order and
// destroys them in the reverse: nothing goes while a service holding it still exists. What would close
// a cycle is looked up later, through a provider or shared(). The constructors only store what they
// are given; windows, QML engines, connections to the display and requests are made on first use.
struct SharedServices {
    SharedServices(Clock* clock, const QUrl& geminiEndpointBase);

    // MARK: - Model

    QSettings settings{QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane"),
                       QStringLiteral("Norvane")};
    SharedNudgePresenter nudgePresenter;
    AppState appState;

    // MARK: - Platform

    std::unique_ptr<DesktopBackend> desktop = makeDesktopBackend(&settings);
    InputEventSource* inputEvents = desktop->inputEvents();

    // MARK: - Capture and storage

    ScreenshotService screenshots;
    ScreenshotDiskStore diskStore;
    SentRequestLog sentRequests; // next to the screenshots folder, in the data root

    // MARK: - Analysis

    ModelClients modelClients;
    OpportunityAnalyzer opportunityAnalyzer{&modelClients, &appState, &sentRequests};
    RecommendationEngine recommendationEngine{&modelClients, &appState, &sentRequests};

    // MARK: - Settings
    // Monitoring asks for permissions and opens the settings window, so these come before it. The window
    // shows the capture limits: they come first, so the window never outlives them.

    CaptureRetention captureRetention;
    PermissionService permissions;
    SettingsWindowManager settingsWindow;

    // MARK: - Monitoring

    InputActivityMonitor inputActivity;
    MonitoringService monitoring;

    // MARK: - Nudge

    SystemPasteboard pasteboard; // also the history window's
    NudgeCoordinator nudgeCoordinator;
    NudgePanelController nudgePanel; // stops listening to inputEvents when destroyed

    // MARK: - Shell

    ShellCommands shellCommands;
    HistoryWindowManager history;
};

SharedServices::SharedServices(Clock* clock, const QUrl& geminiEndpointBase)
    : appState(&settings, &nudgePresenter, clock),
      screenshots(desktop->frontmostWindows(), desktop->windowImages(), desktop->permissionChecker(), clock),
      diskStore(std::nullopt, nullptr, clock),
      sentRequests(QFileInfo(diskStore.rootDirectoryURL()).path() + QStringLiteral("/sent-requests.jsonl"),
                   clock, diskStore.capturesDirectoryURL()),
      modelClients(geminiEndpointBase, clientLimits(clock)),
      captureRetention(
          &appState, &diskStore, [this] { return &monitoring; }, clock),
      permissions(desktop->permissionChecker(), [this] { return desktop->sessionCapabilities(); }),
      settingsWindow(&appState, &modelClients, &permissions, clock), inputActivity(inputEvents, clock),
      monitoring(&screenshots, &opportunityAnalyzer, &appState, &inputActivity, &diskStore, &settingsWindow,
                 &permissions, clock),
      nudgeCoordinator(
          &pasteboard, &appState, &screenshots, [this] { return monitoring.screenshotBuffer(); },
          &recommendationEngine, &diskStore, clock),
      nudgePanel(&appState, &nudgeCoordinator, clock, inputEvents, prepareNudgeWindow),
      shellCommands(&appState, &monitoring, &settingsWindow, [] { QCoreApplication::quit(); }),
      history(&sentRequests, diskStore.capturesDirectoryURL(), &pasteboard) {
    screenshots.setExclusionSource(&appState);
    // Both refer back to the settings window; they are looked up when it is shown.
    settingsWindow.setMonitoringProvider([this] { return &monitoring; });
    settingsWindow.setShellCommandsProvider([this] { return &shellCommands; });
    settingsWindow.setCaptureRetentionProvider([this] { return &captureRetention; });
    shellCommands.setExclusionCandidate([this] { return screenshots.recentOtherWindow(); });
    shellCommands.setHistoryOpener([this] { history.show(); });
}

namespace {

SharedInstances* g_root = nullptr;
SharedServices* g_services = nullptr;

SharedServices& services() {
    Q_ASSERT_X(g_services, "shared()", "shared instances are only available while main() runs");
    return *g_services;
}

} // namespace

SharedInstances::SharedInstances(Options options) : m_options(std::move(options)) {
    Q_ASSERT_X(!g_root, "SharedInstances", "only one composition root may exist at a time");
    g_root = this;
    m_services = std::make_unique<SharedServices>(clock(), geminiEndpointBase());
    g_services = m_services.get();
}

// shared() keeps answering while the services go: one being destroyed may still reach those made before it.
SharedInstances::~SharedInstances() {
    m_services.reset();
    g_services = nullptr;
    g_root = nullptr;
}

SharedInstances* SharedInstances::instance() {
    return g_root;
}

Clock* SharedInstances::clock() const {
    return m_options.clock ? m_options.clock : Clock::system();
}

QUrl SharedInstances::geminiEndpointBase() const {
    return m_options.geminiEndpointBase.isEmpty() ? GeminiClient::defaultEndpointBase()
                                                  : m_options.geminiEndpointBase;
}

// MARK: - Model

AppState* AppState::shared() {
    return &services().appState;
}

// MARK: - Capture and storage

ScreenshotService* ScreenshotService::shared() {
    return &services().screenshots;
}

ScreenshotDiskStore* ScreenshotDiskStore::shared() {
    return &services().diskStore;
}

SentRequestLog* SentRequestLog::shared() {
    return &services().sentRequests;
}

// MARK: - Analysis

ModelClients* ModelClients::shared() {
    return &services().modelClients;
}

OpportunityAnalyzer* OpportunityAnalyzer::shared() {
    return &services().opportunityAnalyzer;
}

RecommendationEngine* RecommendationEngine::shared() {
    return &services().recommendationEngine;
}

// MARK: - Monitoring

InputActivityMonitor* InputActivityMonitor::shared() {
    return &services().inputActivity;
}

MonitoringService* MonitoringService::shared() {
    return &services().monitoring;
}

MonitoringControlling* sharedMonitoring() {
    return MonitoringService::shared();
}

// MARK: - Nudge

NudgeCoordinator* NudgeCoordinator::shared() {
    return &services().nudgeCoordinator;
}

NudgePanelController* NudgePanelController::shared() {
    return &services().nudgePanel;
}

// MARK: - Shell

PermissionService* PermissionService::shared() {
    return &services().permissions;
}

SettingsWindowManager* SettingsWindowManager::shared() {
    return &services().settingsWindow;
}

CaptureRetention* CaptureRetention::shared() {
    return &services().captureRetention;
}

ShellCommands* ShellCommands::shared() {
    return &services().shellCommands;
}

HistoryWindowManager* HistoryWindowManager::shared() {
    return &services().history;
}

} // namespace norvane
