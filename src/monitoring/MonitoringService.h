// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/Cancellation.h"
#include "model/Clock.h"
#include "model/Records.h"
#include "model/ServiceInterfaces.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QUuid>

#include <optional>

namespace norvane {

// While monitoring is on, a one-second loop follows the user's activity (idle, wake, active,
// cool-down), groups each stretch from waking up to the next idle period into a burst, captures the
// frontmost window when that is due, keeps the ten most useful captures, and hands every third wake or
// active capture of a burst to the opportunity analyzer. Main thread only.
//
// Stopping means stopped: a capture or an analysis that completes after stop() (or, for a capture,
// after its loop was cancelled or restarted) leaves nothing behind.
class MonitoringService : public QObject, public MonitoringControlling {
    Q_OBJECT

public:
    // `screenshotStore` may be null: then nothing is written to disk.
    MonitoringService(ScreenCapturing* screenCapturer, OpportunityAnalyzing* opportunityAnalyzer,
                      AppState* appState, InputActivityMonitoring* inputActivityMonitor,
                      ScreenshotPersisting* screenshotStore, SettingsWindowPresenting* settingsWindow,
                      PermissionProviding* permissions, Clock* clock, QObject* parent = nullptr);
    ~MonitoringService() override;

    // The process-wide instance (defined by the application's composition root).
    static MonitoringService* shared();

    void startFromUserRequest() override;
    void stop() override;
    int recentCaptureCount(const QDateTime& now) override;
    QList<Screenshot> screenshotBuffer() const override { return m_screenshotBuffer; }
    void discardStoppedBuffer() override;

    // (Re)starts the one-second loop; a loop already running is cancelled first.
    void startLoop();
    // Forgets capture times more than one hour before `now`; one exactly an hour old stays.
    void pruneRecentCaptureTimestamps(const QDateTime& now);

    // Read-only views of the loop's state.
    bool isLoopRunning() const { return m_monitoringTask.has_value(); }
    bool isAnalysisRunning() const { return m_analysisTask.has_value(); }
    MonitoringActivityState activityState() const { return m_activityState; }
    const std::optional<QUuid>& currentActivityBurstID() const { return m_currentActivityBurstID; }
    const std::optional<QUuid>& inFlightAnalysisBurstID() const { return m_inFlightAnalysisBurstID; }
    const std::optional<QUuid>& lastAnalyzedActivityBurstID() const { return m_lastAnalyzedActivityBurstID; }
    int analysisEligibleCaptureCount() const { return m_analysisEligibleCaptureCountSinceLastAnalysis; }
    const QList<QDateTime>& recentCaptureTimestamps() const { return m_recentCaptureTimestamps; }
    int successfulCaptureCount() const { return m_successfulCaptureCount; }
    const std::optional<QDateTime>& lastCaptureAttemptTime() const { return m_lastCaptureAttemptTime; }

private:
    struct CaptureTrigger {
        ScreenshotCaptureReason reason;
        bool force = false;
        QString detail;
    };

    // Lets the desktop ask the user what to share, then starts; shows the settings window otherwise.
    QCoro::Task<> startOnceShared();
    QCoro::Task<> runLoop(CancellationToken loop);
    QCoro::Task<> captureTick(QDateTime now, CancellationToken loop);
    MonitoringActivityState evaluateActivityState(const QDateTime& now) const;
    void transition(MonitoringActivityState newState, const QDateTime& now);
    QString transitionDetail(MonitoringActivityState state, const QDateTime& now) const;
    std::optional<CaptureTrigger> captureTrigger(MonitoringActivityState state, const QDateTime& now,
                                                 const std::optional<FrontmostWindowInfo>& previousWindow,
                                                 const std::optional<FrontmostWindowInfo>& currentWindow);
    QCoro::Task<> attemptCapture(CaptureTrigger trigger, QDateTime now,
                                 std::optional<FrontmostWindowInfo> rawWindow, CancellationToken loop);
    // False when the runtime state was reset while the store was writing: the capture is then dropped.
    QCoro::Task<bool> storeScreenshot(Screenshot screenshot, CancellationToken session);
    void recordCaptureTimestamp(const QDateTime& now);
    void resetRuntimeState();
    void cancelAnalysis();

    void handleAnalysisEligibility(const Screenshot& screenshot);
    void scheduleAnalysisIfNeeded(std::optional<ScreenshotCaptureReason> triggerReason, QUuid burstID);
    QCoro::Task<> runAnalysis(QUuid burstID, CancellationToken analysis);
    QCoro::Task<bool> analyzeLatestBatchIfNeeded(CancellationToken analysis);
    void setDiagnostics(NudgePipelineState state, const QString& detail);

    ScreenCapturing* m_screenCapturer;
    OpportunityAnalyzing* m_opportunityAnalyzer;
    AppState* m_appState;
    InputActivityMonitoring* m_inputActivityMonitor;
    ScreenshotPersisting* m_screenshotStore;
    SettingsWindowPresenting* m_settingsWindow;
    PermissionProviding* m_permissions;
    Clock* m_clock;

    std::optional<CancellationSource> m_monitoringTask;
    std::optional<CancellationSource> m_analysisTask;
    // Cancelled whenever the runtime state is reset, so work begun before a stop cannot land after it.
    CancellationSource m_session;
    bool m_askingForConsent = false;
    MonitoringActivityState m_activityState = MonitoringActivityState::Idle;
    std::optional<FrontmostWindowInfo> m_lastObservedWindow;
    int m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
    std::optional<QUuid> m_currentActivityBurstID;
    std::optional<QUuid> m_inFlightAnalysisBurstID;
    std::optional<QUuid> m_lastAnalyzedActivityBurstID;
    QList<QDateTime> m_recentCaptureTimestamps;
    QList<Screenshot> m_screenshotBuffer;
    int m_successfulCaptureCount = 0;
    std::optional<QDateTime> m_lastCaptureAttemptTime;
};

} // namespace norvane
