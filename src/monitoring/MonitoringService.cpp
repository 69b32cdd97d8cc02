// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "MonitoringService.h"

#include "MonitoringRules.h"
#include "model/Logging.h"

#include <QPointer>

namespace norvane {

using namespace monitoring;

namespace {

const QString kWaitingForActivityDetail =
    QStringLiteral("Norvane is waiting for a short burst of recent activity before it analyzes anything.");
const QString kAnalyzingDetail =
    QStringLiteral("Norvane has enough recent context and is asking Gemini whether "
                   "the last burst looks worth interrupting.");
// Where the batch goes, said plainly when it is not Gemini.
QString analyzingDetail(const AppState* appState) {
    const ModelConnection connection = appState ? appState->modelConnection() : ModelConnection();
    if (connection.provider == ModelProvider::Gemini)
        return kAnalyzingDetail;
    return QStringLiteral("Norvane has enough recent context; the last burst was sent to %1, which is asked "
                          "whether it looks worth interrupting.")
        .arg(connection.destination());
}
const QString kNudgeVisibleDetail =
    QStringLiteral("A nudge is already on screen, so Norvane is not analyzing another batch yet.");
const QString kFullScreenDetail =
    QStringLiteral("A window was full screen, so Norvane let this nudge go rather than interrupt.");
const QString kNeedsDistinctDetail = QStringLiteral("Norvane still needs 3 distinct wake/active screenshots "
                                                    "from the same activity burst before it can ask Gemini.");

QString reasonText(const std::optional<ScreenshotCaptureReason>& reason) {
    return reason ? rawValue(*reason) : QStringLiteral("unknown");
}

} // namespace

MonitoringService::MonitoringService(ScreenCapturing* screenCapturer,
                                     OpportunityAnalyzing* opportunityAnalyzer, AppState* appState,
                                     InputActivityMonitoring* inputActivityMonitor,
                                     ScreenshotPersisting* screenshotStore,
                                     SettingsWindowPresenting* settingsWindow,
                                     PermissionProviding* permissions, Clock* clock, QObject* parent)
    : QObject(parent), m_screenCapturer(screenCapturer), m_opportunityAnalyzer(opportunityAnalyzer),
      m_appState(appState), m_inputActivityMonitor(inputActivityMonitor), m_screenshotStore(screenshotStore),
      m_settingsWindow(settingsWindow), m_permissions(permissions), m_clock(clock) {
    // A new interval choice restarts a running loop; while monitoring is off there is nothing to restart.
    connect(m_appState, &AppState::screenshotIntervalAssigned, this, [this] {
        if (m_appState->isMonitoring())
            startLoop();
    });
    // A pause stops what is in flight as a stop does: a verdict arriving later would raise a card or
    // overwrite the paused status.
    connect(m_appState, &AppState::isPausedChanged, this, [this] {
        if (m_appState->isPaused() && m_analysisTask) {
            qCInfo(lcMonitoringService) << "Cancelled the running analysis because monitoring was paused";
            cancelAnalysis();
            m_inFlightAnalysisBurstID.reset();
        }
    });
}

MonitoringService::~MonitoringService() {
    // Suspended coroutines resume into a cancelled token and end without touching this object.
    if (m_monitoringTask)
        m_monitoringTask->cancel();
    if (m_analysisTask)
        m_analysisTask->cancel();
    m_session.cancel();
}

// MARK: - Start and stop

void MonitoringService::startFromUserRequest() {
    if (!m_appState->isModelReady()) {
        m_settingsWindow->show(SettingsPresentationMode::Setup);
        return;
    }
    if (!m_permissions->hasScreenRecordingPermission()) {
        if (m_permissions->canAskForCaptureConsent()) {
            startOnceShared();
            return;
        }
        if (!m_permissions->requestScreenRecordingPermission()) {
            m_permissions->openScreenRecordingSettings();
            if (!m_permissions->hasScreenRecordingPermission()) {
                m_settingsWindow->show(SettingsPresentationMode::Standard);
                return;
            }
        }
    }
    // Better window titles if granted; monitoring starts either way.
    m_permissions->ensureAccessibilityAccessIfNeeded();

    resetRuntimeState();
    m_screenCapturer->resetDeduplicationState();
    m_appState->setIsMonitoring(true);
    m_appState->resumeMonitoring();
    setDiagnostics(NudgePipelineState::WaitingForActivity, kWaitingForActivityDetail);
    m_inputActivityMonitor->start();
    startLoop();
}

QCoro::Task<> MonitoringService::startOnceShared() {
    if (m_askingForConsent)
        co_return; // the desktop's dialog is already up
    QPointer<MonitoringService> self(this);
    m_askingForConsent = true;
    qCInfo(lcMonitoringService) << "Asking the desktop which window or screen to share";
    const bool chosen = co_await m_permissions->askForCaptureConsent();
    if (!self)
        co_return;
    m_askingForConsent = false;
    if (chosen && m_permissions->hasScreenRecordingPermission()) {
        if (!m_appState->isMonitoring())
            startFromUserRequest();
        co_return;
    }
    m_settingsWindow->show(SettingsPresentationMode::Standard);
}

void MonitoringService::stop() {
    if (m_monitoringTask) {
        m_monitoringTask->cancel();
        m_monitoringTask.reset();
    }
    cancelAnalysis();
    resetRuntimeState();
    m_inputActivityMonitor->stop();
    m_appState->setIsMonitoring(false);
    m_appState->resumeMonitoring();
    // A card on screen belongs to the monitoring that just ended; answering it would take a new picture.
    if (m_appState->currentNudge())
        m_appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
    m_appState->setNudgeDiagnostics(NudgePipelineDiagnostics::monitoringOff(m_clock->now()));
    qCInfo(lcMonitoringService) << "Monitoring stopped";
}

void MonitoringService::discardStoppedBuffer() {
    if (!m_appState->isMonitoring())
        resetRuntimeState();
}

void MonitoringService::cancelAnalysis() {
    if (m_analysisTask) {
        m_analysisTask->cancel();
        m_analysisTask.reset();
    }
}

void MonitoringService::resetRuntimeState() {
    m_session.cancel();
    m_session = CancellationSource();
    // The burst fields are cleared below, so an analysis still running would report into a new run.
    cancelAnalysis();
    m_screenshotBuffer.clear();
    m_successfulCaptureCount = 0;
    m_lastCaptureAttemptTime.reset();
    m_lastObservedWindow.reset();
    m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
    m_currentActivityBurstID.reset();
    m_inFlightAnalysisBurstID.reset();
    m_lastAnalyzedActivityBurstID.reset();
    m_activityState = MonitoringActivityState::Idle;
    if (m_screenshotStore)
        m_screenshotStore->syncBuffer({}); // not awaited: the store empties its buffer folder in call order
}

void MonitoringService::startLoop() {
    if (m_monitoringTask)
        m_monitoringTask->cancel();
    m_monitoringTask.emplace();
    qCInfo(lcMonitoringService) << "Monitoring started";
    runLoop(m_monitoringTask->token());
}

QCoro::Task<> MonitoringService::runLoop(CancellationToken loop) {
    QPointer<MonitoringService> self(this);
    while (!loop.isCancelled()) {
        co_await captureTick(m_clock->now(), loop);
        if (!self || loop.isCancelled())
            co_return;
        co_await m_clock->sleep(defaultLoopPollInterval, loop);
        if (!self)
            co_return;
    }
}

// MARK: - One tick

QCoro::Task<> MonitoringService::captureTick(QDateTime now, CancellationToken loop) {
    m_appState->syncPauseIfNeeded();
    if (!m_appState->isMonitoring()) {
        qCDebug(lcMonitoringService) << "Skipping capture tick because monitoring is disabled";
        co_return;
    }
    if (m_appState->isPaused()) {
        qCDebug(lcMonitoringService) << "Skipping capture tick because monitoring is paused";
        co_return;
    }

    const auto rawWindow = m_screenCapturer->frontmostWindowInfo();
    std::optional<FrontmostWindowInfo> currentWindow;
    if (rawWindow && !rawWindow->isOwnApp)
        currentWindow = rawWindow;

    const auto state = evaluateActivityState(now);
    transition(state, now);
    const auto trigger = captureTrigger(state, now, m_lastObservedWindow, currentWindow);
    m_lastObservedWindow = currentWindow;
    if (trigger)
        co_await attemptCapture(*trigger, now, rawWindow, loop);
}

MonitoringActivityState MonitoringService::evaluateActivityState(const QDateTime& now) const {
    std::optional<double> age;
    if (const auto at = m_inputActivityMonitor->lastMeaningfulInputAt())
        age = Clock::secondsBetween(*at, now);
    return nextActivityState(m_activityState, age);
}

void MonitoringService::transition(MonitoringActivityState newState, const QDateTime& now) {
    if (newState == m_activityState)
        return;
    const auto oldState = m_activityState;
    m_activityState = newState;
    if (newState == MonitoringActivityState::Idle) {
        m_currentActivityBurstID.reset();
        m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
    } else if (newState == MonitoringActivityState::Wake) {
        m_currentActivityBurstID = QUuid::createUuid();
        m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
    }
    qCInfo(lcMonitoringService).noquote()
        << QStringLiteral("Activity transition %1 -> %2 | %3")
               .arg(rawValue(oldState), rawValue(newState), transitionDetail(newState, now));
}

QString MonitoringService::transitionDetail(MonitoringActivityState state, const QDateTime& now) const {
    const auto kind = m_inputActivityMonitor->lastMeaningfulInputKind();
    const QString label = kind ? rawValue(*kind) : QStringLiteral("input");
    const auto at = m_inputActivityMonitor->lastMeaningfulInputAt();
    const QString age = at ? formattedInterval(Clock::secondsBetween(*at, now)) : QString();
    switch (state) {
    case MonitoringActivityState::Idle:
        return at ? QStringLiteral("no meaningful %1 for %2").arg(label, age)
                  : QStringLiteral("no meaningful input observed yet");
    case MonitoringActivityState::Wake:
        return QStringLiteral("resumed after meaningful ") + label;
    case MonitoringActivityState::Active:
        return at ? QStringLiteral("last meaningful %1 was %2 ago").arg(label, age)
                  : QStringLiteral("meaningful input timing is unavailable");
    case MonitoringActivityState::Cooldown:
        return at ? QStringLiteral("cooling down after %1 without new input").arg(age)
                  : QStringLiteral("meaningful input timing is unavailable");
    }
    return {};
}

std::optional<MonitoringService::CaptureTrigger>
MonitoringService::captureTrigger(MonitoringActivityState state, const QDateTime& now,
                                  const std::optional<FrontmostWindowInfo>& previousWindow,
                                  const std::optional<FrontmostWindowInfo>& currentWindow) {
    switch (state) {
    case MonitoringActivityState::Idle:
        qCDebug(lcMonitoringService) << "Skipping capture because monitoring is idle";
        return std::nullopt;
    case MonitoringActivityState::Wake:
        return CaptureTrigger{ScreenshotCaptureReason::ResumedAfterIdle, true,
                              QStringLiteral("taking an immediate wake screenshot after idle")};
    case MonitoringActivityState::Active:
    case MonitoringActivityState::Cooldown:
        break;
    }

    if (const auto reason = captureReasonForWindowChange(previousWindow, currentWindow)) {
        return CaptureTrigger{*reason, false,
                              *reason == ScreenshotCaptureReason::AppSwitch
                                  ? QStringLiteral("frontmost app changed")
                                  : QStringLiteral("frontmost window changed")};
    }

    const bool active = state == MonitoringActivityState::Active;
    const double interval = active ? activeCaptureInterval : cooldownCaptureInterval;
    const double elapsed =
        m_lastCaptureAttemptTime ? Clock::secondsBetween(*m_lastCaptureAttemptTime, now) : interval;
    if (elapsed >= interval) {
        return CaptureTrigger{active ? ScreenshotCaptureReason::ActiveInterval
                                     : ScreenshotCaptureReason::CooldownInterval,
                              false, rawValue(state) + QStringLiteral(" cadence interval elapsed")};
    }
    qCDebug(lcMonitoringService).noquote()
        << QStringLiteral("Skipping capture because the %1 interval has not elapsed yet (%2 remaining)")
               .arg(rawValue(state), formattedInterval(interval - elapsed));
    return std::nullopt;
}

// MARK: - Capture and storage

QCoro::Task<> MonitoringService::attemptCapture(CaptureTrigger trigger, QDateTime now,
                                                std::optional<FrontmostWindowInfo> rawWindow,
                                                CancellationToken loop) {
    // Also a skipped or failed attempt restarts the cadence.
    m_lastCaptureAttemptTime = now;
    const QString reason = rawValue(trigger.reason);
    if (!rawWindow || rawWindow->isOwnApp) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral("Skipping %1 capture because %2")
                   .arg(reason, rawWindow
                                    ? QStringLiteral("Norvane is frontmost")
                                    : QStringLiteral("no frontmost capturable window context is available"));
        co_return;
    }
    qCDebug(lcMonitoringService).noquote()
        << QStringLiteral("Capturing screenshot because %1 while in %2 (%3)")
               .arg(reason, rawValue(m_activityState), trigger.detail);

    QPointer<MonitoringService> self(this);
    const CancellationToken session = m_session.token();
    auto screenshot = co_await m_screenCapturer->captureFrontmostWindow(trigger.force);
    // A frame that arrives after its loop was cancelled, or after a stop, belongs to no running monitor.
    if (!self || loop.isCancelled() || session.isCancelled())
        co_return;
    if (!screenshot) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral("Skipping %1 capture because the screen capturer returned no screenshot")
                   .arg(reason);
        co_return;
    }

    Screenshot stamped = std::move(*screenshot);
    stamped.captureReason = trigger.reason;
    stamped.activityState = m_activityState;
    stamped.activityBurstID = m_currentActivityBurstID;
    const bool stored = co_await storeScreenshot(stamped, session);
    if (!self || !stored)
        co_return;

    recordCaptureTimestamp(now);
    ++m_successfulCaptureCount;
    qCInfo(lcMonitoringService).noquote() << QStringLiteral("Captured %1 - %2 | reason=%3 state=%4")
                                                 .arg(logSafe(stamped.appName), logSafe(stamped.windowTitle),
                                                      reason, rawValue(stamped.activityState));
    handleAnalysisEligibility(stamped);
}

QCoro::Task<bool> MonitoringService::storeScreenshot(Screenshot screenshot, CancellationToken session) {
    m_screenshotBuffer.append(screenshot);
    while (m_screenshotBuffer.size() > screenshotBufferLimit)
        m_screenshotBuffer.removeAt(bufferEvictionIndex(m_screenshotBuffer));
    if (!m_screenshotStore)
        co_return true;

    QPointer<MonitoringService> self(this);
    co_await m_screenshotStore->persistCapture(screenshot);
    if (!self || session.isCancelled())
        co_return false;
    co_await m_screenshotStore->syncBuffer(m_screenshotBuffer);
    co_return self && !session.isCancelled();
}

void MonitoringService::recordCaptureTimestamp(const QDateTime& now) {
    m_recentCaptureTimestamps.append(now);
    pruneRecentCaptureTimestamps(now);
}

void MonitoringService::pruneRecentCaptureTimestamps(const QDateTime& now) {
    m_recentCaptureTimestamps.removeIf(
        [&now](const QDateTime& entry) { return Clock::secondsBetween(entry, now) > recentCaptureWindow; });
}

int MonitoringService::recentCaptureCount(const QDateTime& now) {
    pruneRecentCaptureTimestamps(now);
    return int(m_recentCaptureTimestamps.size());
}

// MARK: - Analysis

void MonitoringService::setDiagnostics(NudgePipelineState state, const QString& detail) {
    m_appState->setNudgeDiagnostics(NudgePipelineDiagnostics{state, detail, m_clock->now()});
}

void MonitoringService::handleAnalysisEligibility(const Screenshot& screenshot) {
    const QString id = shortId(screenshot.id);
    if (!isAnalysisEligible(screenshot)) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral(
                   "Skipping LLM analysis trigger for screenshot %1 because %2 screenshots are not "
                   "analyzed")
                   .arg(id, rawValue(screenshot.activityState));
        return;
    }
    if (m_appState->currentNudge()) {
        qCDebug(lcMonitoringService)
            << "Skipping analysis eligibility updates because a nudge is already visible";
        return;
    }
    if (!screenshot.activityBurstID) {
        qCDebug(lcMonitoringService)
            << "Skipping analysis eligibility updates because the screenshot has no activity burst ID";
        return;
    }
    if (m_inFlightAnalysisBurstID == screenshot.activityBurstID) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral("Skipping analysis eligibility updates for screenshot %1 because this burst is "
                              "already being analyzed")
                   .arg(id);
        return;
    }
    if (m_lastAnalyzedActivityBurstID == screenshot.activityBurstID) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral(
                   "Skipping analysis eligibility updates for screenshot %1 because this burst was "
                   "already analyzed")
                   .arg(id);
        return;
    }

    const int count =
        std::min(m_analysisEligibleCaptureCountSinceLastAnalysis + 1, analysisTriggerCaptureCount);
    m_analysisEligibleCaptureCountSinceLastAnalysis = count;
    if (count < analysisTriggerCaptureCount)
        setDiagnostics(NudgePipelineState::CollectingContext, collectingContextDetail(count));
    qCDebug(lcMonitoringService).noquote()
        << QStringLiteral("Screenshot %1 is eligible for analysis (%2/%3)")
               .arg(id, QString::number(count), QString::number(analysisTriggerCaptureCount));
    if (count >= analysisTriggerCaptureCount) {
        scheduleAnalysisIfNeeded(screenshot.captureReason, *screenshot.activityBurstID);
    } else {
        qCDebug(lcMonitoringService)
            << "Skipping analysis because there are not yet enough active screenshots in the current burst";
    }
}

void MonitoringService::scheduleAnalysisIfNeeded(std::optional<ScreenshotCaptureReason> triggerReason,
                                                 QUuid burstID) {
    if (m_analysisTask) {
        qCDebug(lcMonitoringService)
            << "Skipping analysis schedule because another analysis task is already running";
        return;
    }
    m_inFlightAnalysisBurstID = burstID;
    setDiagnostics(NudgePipelineState::Analyzing, analyzingDetail(m_appState));
    qCDebug(lcMonitoringService).noquote()
        << QStringLiteral("Scheduling analysis because the active capture threshold was reached via %1")
               .arg(reasonText(triggerReason));
    m_analysisTask.emplace();
    runAnalysis(burstID, m_analysisTask->token());
}

QCoro::Task<> MonitoringService::runAnalysis(QUuid burstID, CancellationToken analysis) {
    QPointer<MonitoringService> self(this);
    const bool analyzed = co_await analyzeLatestBatchIfNeeded(analysis);
    // A cancelled analysis was cleared away by whoever cancelled it; its slots may belong to a newer one.
    if (!self || analysis.isCancelled())
        co_return;
    if (analyzed) {
        // A newer burst may already be counting toward its own analysis; its count stays.
        if (m_currentActivityBurstID == burstID)
            m_analysisEligibleCaptureCountSinceLastAnalysis = 0;
        m_lastAnalyzedActivityBurstID = burstID;
    }
    m_inFlightAnalysisBurstID.reset();
    m_analysisTask.reset();
}

QCoro::Task<bool> MonitoringService::analyzeLatestBatchIfNeeded(CancellationToken analysis) {
    if (m_appState->currentNudge()) {
        setDiagnostics(NudgePipelineState::NudgeVisible, kNudgeVisibleDetail);
        qCDebug(lcMonitoringService) << "Skipping analysis because a nudge is active";
        co_return false;
    }
    const auto selected = selectScreenshotsForAnalysis(m_screenshotBuffer);
    if (selected.size() != analysisTriggerCaptureCount) {
        setDiagnostics(NudgePipelineState::CollectingContext, kNeedsDistinctDetail);
        qCDebug(lcMonitoringService)
            << "Skipping analysis because there is not yet a distinct active batch to analyze";
        co_return false;
    }
    // A card the budget would not let appear is not worth an upload: the burst counts as analysed.
    if (const QString budget = m_appState->nudgeBudgetDetail(); !budget.isEmpty()) {
        setDiagnostics(NudgePipelineState::WaitingForActivity, budget);
        qCDebug(lcMonitoringService) << "Skipping analysis because the nudge budget allows no card now";
        co_return true;
    }
    setDiagnostics(NudgePipelineState::Analyzing, analyzingDetail(m_appState));
    QStringList reasons;
    for (const auto& screenshot : selected)
        reasons.append(reasonText(screenshot.captureReason));
    qCInfo(lcMonitoringService).noquote()
        << QStringLiteral("Analyzing screenshots selected for activity burst: %1")
               .arg(reasons.join(QStringLiteral(", ")));

    QPointer<MonitoringService> self(this);
    const auto opportunity = co_await m_opportunityAnalyzer->analyze(selected, analysis);
    if (!self || analysis.isCancelled() || m_appState->isPaused())
        co_return false;
    const std::optional<FrontmostWindowInfo> window =
        opportunity ? m_screenCapturer->frontmostWindowInfo() : std::nullopt;
    if (window && window->isFullScreen && !window->isOwnApp) {
        // A presentation, a call or a game: the chance is let go, not kept for later.
        setDiagnostics(NudgePipelineState::NoOpportunity, kFullScreenDetail);
        qCInfo(lcMonitoringService) << "Dropped the nudge because a window is full screen";
    } else if (opportunity)
        m_appState->presentOpportunity(*opportunity);
    else
        qCDebug(lcMonitoringService) << "Analyzer returned no opportunity for the selected screenshots";
    co_return true;
}

} // namespace norvane
