// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SharedInstances.h"

#include "CaptureRetention.h"
#include "HistoryWindowManager.h"
#include "PermissionService.h"
#include "SettingsWindowManager.h"
#include "ShellCommands.h"
#include "analysis/GeminiClient.h"
#include "analysis/OpportunityAnalyzer.h"
#include "analysis/RecommendationEngine.h"
#include "capture/ScreenshotDiskStore.h"
#include "capture/ScreenshotService.h"
#include "capture/SentRequestLog.h"
#include "model/AppState.h"
#include "monitoring/InputActivityMonitor.h"
#include "monitoring/MonitoringService.h"
#include "nudge/NudgeCoordinator.h"
#include "nudge/NudgePanelController.h"
#include "nudge/SystemPasteboard.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/SystemScreenRecordingPermissionChecker.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SessionCapabilities.h"
#include "platform/x11/X11WindowHints.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace norvane {

namespace {

SharedInstances* g_root = nullptr;

// The one instance behind `slot`, made by `make` on first use and owned by the root. The slot is filled
// before anything else runs, so services that refer back to this one find it instead of making another.
template <typename T, typename Make> T* sharedInstance(T*& slot, Make make) {
    if (!slot) {
        Q_ASSERT_X(g_root, "shared()", "shared instances are only available while main() runs");
        slot = g_root->own(make());
    }
    return slot;
}

// Slots are emptied when the root goes, so no shared() ever hands out a destroyed instance.
struct SlotRegistry {
    std::vector<std::function<void()>> resets;
};
SlotRegistry& slotRegistry() {
    static SlotRegistry registry;
    return registry;
}
template <typename T> void registerSlot(T*& slot) {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    slotRegistry().resets.push_back([&slot] { slot = nullptr; });
}

// AppState presents through the nudge panel, which itself needs AppState: the panel is reached on the
// first nudge, not when the state is made.
class SharedNudgePresenter final : public NudgePresenting {
public:
    void presentOrUpdate() override { NudgePanelController::shared()->presentOrUpdate(); }
    void dismiss() override { NudgePanelController::shared()->dismiss(); }
};

GeminiClientLimits clientLimits() {
    GeminiClientLimits limits;
    limits.clock = g_root->clock();
    return limits;
}

} // namespace

SharedInstances::SharedInstances(Options options) : m_options(std::move(options)) {
    g_root = this;
}

Clock* SharedInstances::clock() const {
    return m_options.clock ? m_options.clock : Clock::system();
}

QUrl SharedInstances::geminiEndpointBase() const {
    return m_options.geminiEndpointBase.isEmpty() ? GeminiClient::defaultEndpointBase()
                                                  : m_options.geminiEndpointBase;
}

SharedInstances::~SharedInstances() {
    for (auto it = m_destroyers.rbegin(); it != m_destroyers.rend(); ++it)
        (*it)();
    m_destroyers.clear();
    qDeleteAll(children());
    for (const auto& reset : slotRegistry().resets)
        reset();
    g_root = nullptr;
}

SharedInstances* SharedInstances::instance() {
    return g_root;
}

// MARK: - Model

AppState* AppState::shared() {
    static AppState* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* settings = g_root->own(new QSettings(QSettings::IniFormat, QSettings::UserScope,
                                                   QStringLiteral("Norvane"), QStringLiteral("Norvane")));
        auto* presenter = g_root->own(new SharedNudgePresenter);
        return new AppState(settings, presenter, g_root->clock());
    });
}

// MARK: - Platform

X11Connection* X11Connection::shared() {
    static X11Connection* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] { return new X11Connection; });
}

SystemFrontmostWindowProvider* SystemFrontmostWindowProvider::shared() {
    static SystemFrontmostWindowProvider* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] { return new SystemFrontmostWindowProvider(X11Connection::shared()); });
}

SystemWindowImageCapture* SystemWindowImageCapture::shared() {
    static SystemWindowImageCapture* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] { return new SystemWindowImageCapture(X11Connection::shared()); });
}

SystemScreenRecordingPermissionChecker* SystemScreenRecordingPermissionChecker::shared() {
    static SystemScreenRecordingPermissionChecker* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot,
                          [] { return new SystemScreenRecordingPermissionChecker(X11Connection::shared()); });
}

SystemInputEventSource* SystemInputEventSource::shared() {
    static SystemInputEventSource* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] { return new SystemInputEventSource; });
}

// MARK: - Capture and storage

ScreenshotService* ScreenshotService::shared() {
    static ScreenshotService* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* service =
            new ScreenshotService(SystemFrontmostWindowProvider::shared(), SystemWindowImageCapture::shared(),
                                  SystemScreenRecordingPermissionChecker::shared(), g_root->clock());
        service->setExclusionSource(AppState::shared());
        return service;
    });
}

ScreenshotDiskStore* ScreenshotDiskStore::shared() {
    static ScreenshotDiskStore* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot,
                          [] { return new ScreenshotDiskStore(std::nullopt, nullptr, g_root->clock()); });
}

// Next to the screenshots folder, in the data root.
SentRequestLog* SentRequestLog::shared() {
    static SentRequestLog* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        const QString root = QFileInfo(ScreenshotDiskStore::shared()->rootDirectoryURL()).path();
        return new SentRequestLog(root + QStringLiteral("/sent-requests.jsonl"), g_root->clock(),
                                  ScreenshotDiskStore::shared()->capturesDirectoryURL());
    });
}

// MARK: - Analysis

GeminiClient* GeminiClient::shared() {
    static GeminiClient* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot,
                          [] { return new GeminiClient(g_root->geminiEndpointBase(), clientLimits()); });
}

OpportunityAnalyzer* OpportunityAnalyzer::shared() {
    static OpportunityAnalyzer* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new OpportunityAnalyzer(GeminiClient::shared(), AppState::shared(), SentRequestLog::shared());
    });
}

RecommendationEngine* RecommendationEngine::shared() {
    static RecommendationEngine* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new RecommendationEngine(GeminiClient::shared(), AppState::shared(), SentRequestLog::shared());
    });
}

// MARK: - Monitoring

InputActivityMonitor* InputActivityMonitor::shared() {
    static InputActivityMonitor* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(
        slot, [] { return new InputActivityMonitor(SystemInputEventSource::shared(), g_root->clock()); });
}

MonitoringService* MonitoringService::shared() {
    static MonitoringService* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new MonitoringService(ScreenshotService::shared(), OpportunityAnalyzer::shared(),
                                     AppState::shared(), InputActivityMonitor::shared(),
                                     ScreenshotDiskStore::shared(), SettingsWindowManager::shared(),
                                     PermissionService::shared(), g_root->clock());
    });
}

MonitoringControlling* sharedMonitoring() {
    return MonitoringService::shared();
}

// MARK: - Nudge

NudgeCoordinator* NudgeCoordinator::shared() {
    static NudgeCoordinator* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* pasteboard = g_root->own(new SystemPasteboard);
        return new NudgeCoordinator(
            pasteboard, AppState::shared(), ScreenshotService::shared(),
            [] { return MonitoringService::shared()->screenshotBuffer(); }, RecommendationEngine::shared(),
            ScreenshotDiskStore::shared(), g_root->clock());
    });
}

NudgePanelController* NudgePanelController::shared() {
    static NudgePanelController* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new NudgePanelController(AppState::shared(), NudgeCoordinator::shared(), g_root->clock(),
                                        SystemInputEventSource::shared(), [](QWindow* window) {
                                            keepOutOfTaskbarAndPager(window);
                                            // Without a compositor the rounded corners would show black.
                                            NudgePanelController::setTranslucent(window,
                                                                                 hasCompositingManager());
                                        });
    });
}

// MARK: - Shell

PermissionService* PermissionService::shared() {
    static PermissionService* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new PermissionService(SystemScreenRecordingPermissionChecker::shared(), [] {
            return x11SessionCapabilities(X11Connection::shared(), SystemInputEventSource::shared());
        });
    });
}

SettingsWindowManager* SettingsWindowManager::shared() {
    static SettingsWindowManager* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* manager = new SettingsWindowManager(AppState::shared(), GeminiClient::shared(),
                                                  PermissionService::shared(), g_root->clock());
        // Both refer back to this window; they are looked up when the window is shown.
        manager->setMonitoringProvider([] { return sharedMonitoring(); });
        manager->setShellCommandsProvider([] { return ShellCommands::shared(); });
        manager->setCaptureRetentionProvider([] { return CaptureRetention::shared(); });
        return manager;
    });
}

CaptureRetention* CaptureRetention::shared() {
    static CaptureRetention* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        return new CaptureRetention(
            AppState::shared(), ScreenshotDiskStore::shared(), [] { return sharedMonitoring(); },
            g_root->clock());
    });
}

ShellCommands* ShellCommands::shared() {
    static ShellCommands* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* commands = new ShellCommands(AppState::shared(), sharedMonitoring(),
                                           SettingsWindowManager::shared(), [] { QCoreApplication::quit(); });
        commands->setExclusionCandidate([] { return ScreenshotService::shared()->recentOtherWindow(); });
        commands->setHistoryOpener([] { HistoryWindowManager::shared()->show(); });
        return commands;
    });
}

HistoryWindowManager* HistoryWindowManager::shared() {
    static HistoryWindowManager* slot = nullptr;
    registerSlot(slot);
    return sharedInstance(slot, [] {
        auto* pasteboard = g_root->own(new SystemPasteboard);
        return new HistoryWindowManager(SentRequestLog::shared(),
                                        ScreenshotDiskStore::shared()->capturesDirectoryURL(), pasteboard);
    });
}

} // namespace norvane
