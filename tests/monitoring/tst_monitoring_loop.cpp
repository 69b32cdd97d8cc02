#include "MonitoringHarness.h"
#include "monitoring/MonitoringRules.h"

using namespace norvane;
using namespace norvane::testing;
using R = ScreenshotCaptureReason;
using S = MonitoringActivityState;

namespace {

const QString kAnalyzing = QStringLiteral("Norvane has enough recent context and is asking Gemini whether "
                                          "the last burst looks worth interrupting.");
const FrontmostWindowInfo kOwnWindow{7, QStringLiteral("Norvane"), QStringLiteral("Settings"), true};

Opportunity sample() {
    return {QStringLiteral("retyping"), 0.9, QStringLiteral("Copies rows"), QStringLiteral("Why?"),
            OpportunityCategory::ManualWork};
}

} // namespace

class MonitoringLoopTest : public QObject {
    Q_OBJECT

private slots:
    // A burst runs from waking up to the next idle period.
    void transitionsAndBursts() {
        MonitoringHarness h;
        LogCapture log;
        h.service.startFromUserRequest(); // no input yet: idle
        h.run(1);
        const auto burst = h.service.currentActivityBurstID();
        h.run(1, 1);
        h.run(1, 11);
        QVERIFY(burst && h.service.currentActivityBurstID() == burst);
        h.run(1, 20);
        QCOMPARE(h.service.currentActivityBurstID(), std::nullopt);
        QCOMPARE(h.service.analysisEligibleCaptureCount(), 0);
        h.run(1);
        QVERIFY(h.service.currentActivityBurstID() && h.service.currentActivityBurstID() != burst);
        h.input.stop(); // forgets the input
        h.clock.advance(1);
        QCOMPARE(
            monitoringLog(log, QtInfoMsg).filter(u"Activity transition"),
            (QStringList{"Activity transition idle -> wake | resumed after meaningful keyboard",
                         "Activity transition wake -> active | last meaningful keyboard was 1s ago",
                         "Activity transition active -> cool-down | cooling down after 11s without new input",
                         "Activity transition cool-down -> idle | no meaningful keyboard for 20s",
                         "Activity transition idle -> wake | resumed after meaningful keyboard",
                         "Activity transition wake -> idle | no meaningful input observed yet"}));
    }

    // Every 4 s while active, every 12 s while cooling down; ten captures are kept, cool-down ones go first.
    void cadencesAndBuffer() {
        MonitoringHarness h;
        LogCapture log;
        const QDateTime t0 = h.clock.now();
        h.startWithFreshInput();
        h.run(8);
        h.run(24, 11);
        QCOMPARE(h.service.recentCaptureTimestamps(),
                 (QList<QDateTime>{t0, t0.addSecs(4), t0.addSecs(8), t0.addSecs(20), t0.addSecs(32)}));
        QCOMPARE(h.bufferReasons(), (QList<R>{R::ResumedAfterIdle, R::ActiveInterval, R::ActiveInterval,
                                              R::CooldownInterval, R::CooldownInterval}));
        const auto buffer = h.service.screenshotBuffer();
        QCOMPARE((QList<S>{buffer[0].activityState, buffer[1].activityState, buffer[4].activityState}),
                 (QList<S>{S::Wake, S::Active, S::Cooldown}));
        QVERIFY(buffer[0].activityBurstID && buffer[4].activityBurstID == buffer[0].activityBurstID);
        QCOMPARE(h.capturer.captureRequests,
                 (QList<bool>{true, false, false, false, false})); // wake is forced
        const QStringList lines = monitoringLog(log);
        QCOMPARE(lines.filter(u"has not elapsed").first(),
                 "Skipping capture because the active interval has not elapsed yet (3s remaining)");
        QVERIFY(lines.contains("Capturing screenshot because active-interval while in active "
                               "(active cadence interval elapsed)"));
        QVERIFY(lines.contains("Skipping LLM analysis trigger for screenshot " + shortId(buffer[4].id) +
                               " because cool-down screenshots are not analyzed"));
        QVERIFY(monitoringLog(log, QtInfoMsg)
                    .contains("Captured Editor - Notes | reason=active-interval state=active"));

        h.run(28); // active again: seven more captures
        QCOMPARE(h.service.screenshotBuffer().size(), 10);
        QVERIFY(!h.bufferReasons().contains(R::CooldownInterval));
        QCOMPARE(h.service.screenshotBuffer().first().timestamp, t0);
        QCOMPARE(h.store.persisted.size(), 12);
        QCOMPARE(h.store.syncs.last(),
                 h.service.screenshotBuffer()); // the disk buffer mirrors the memory one
        QCOMPARE(h.service.recentCaptureCount(t0.addSecs(3600)), 12); // a capture exactly an hour old stays
        QCOMPARE(h.service.recentCaptureCount(t0.addMSecs(3600001)), 11);
    }

    // Window changes capture at once; Norvane's own windows are neither captured nor observed.
    void windowsInFront() {
        MonitoringHarness h;
        LogCapture log;
        const QDateTime t0 = h.clock.now();
        h.capturer.window = kOwnWindow;
        h.startWithFreshInput(); // skipped, but it still restarts the cadence
        h.capturer.window = FrontmostWindowInfo{42, QStringLiteral("Editor"), QStringLiteral("Notes"), false};
        h.run(1);
        h.capturer.window->windowID = 43;
        h.run(1);
        h.capturer.window = kOwnWindow;
        h.run(1);
        QCOMPARE(h.service.lastCaptureAttemptTime(), t0.addSecs(2));
        h.capturer.window.reset();
        h.run(3);
        QCOMPARE(h.bufferReasons(), (QList<R>{R::AppSwitch, R::WindowSwitch}));
        QCOMPARE(h.capturer.captureRequests.size(), 2);
        QCOMPARE(h.service.lastCaptureAttemptTime(), t0.addSecs(6));
        QVERIFY(
            monitoringLog(log).contains("Skipping resumed-after-idle capture because Norvane is frontmost"));
        QVERIFY(monitoringLog(log).contains(
            "Skipping active-interval capture because no frontmost capturable window context is available"));
    }

    // Permissions: S screen recording held, R granted when requested, O granted once system settings are
    // opened, A accessibility held.
    void startNeedsKeyAndScreenRecording_data() {
        QTest::addColumn<QString>("apiKey");
        QTest::addColumn<QString>("permissions");
        QTest::addColumn<QList<SettingsPresentationMode>>("windows");
        QTest::addColumn<QList<int>>("requestsAndOpens");
        using M = QList<SettingsPresentationMode>;
        QTest::newRow("blank key") << " \n\t"
                                   << "SA" << M{SettingsPresentationMode::Setup} << QList<int>{0, 0};
        QTest::newRow("refused") << "key"
                                 << "A" << M{SettingsPresentationMode::Standard} << QList<int>{1, 1};
        QTest::newRow("granted when asked") << "key"
                                            << "RA" << M{} << QList<int>{1, 0};
        QTest::newRow("granted in system settings") << "key"
                                                    << "OA" << M{} << QList<int>{1, 1};
        QTest::newRow("accessibility refused") << " key "
                                               << "S" << M{} << QList<int>{0, 0};
    }
    void startNeedsKeyAndScreenRecording() {
        QFETCH(QString, apiKey);
        QFETCH(QString, permissions);
        QFETCH(QList<SettingsPresentationMode>, windows);
        MonitoringHarness h;
        h.appState.setApiKey(apiKey);
        h.permissions.screenRecording = permissions.contains(u'S');
        h.permissions.grantOnRequest = permissions.contains(u'R');
        h.permissions.grantOnOpenSettings = permissions.contains(u'O');
        h.permissions.accessibility = permissions.contains(u'A');
        h.appState.pauseFor(30);
        h.service.startFromUserRequest();
        QCOMPARE(h.settingsWindow.shows, windows);
        QTEST((QList<int>{h.permissions.requestCalls, h.permissions.openSettingsCalls}), "requestsAndOpens");
        const int started = windows.isEmpty();
        QCOMPARE(
            (QList<int>{h.appState.isMonitoring(), h.service.isLoopRunning(), h.input.startCalls,
                        h.capturer.resetCalls, h.permissions.accessibilityRequests, !h.appState.isPaused()}),
            QList<int>(6, started));
        QCOMPARE(h.store.syncs,
                 started ? QList<QList<Screenshot>>{{}} : QList<QList<Screenshot>>{}); // emptied
        if (started)
            QCOMPARE(h.appState.nudgeDiagnostics().detail,
                     "Norvane is waiting for a short burst of recent activity before it analyzes anything.");
    }

    // A pause holds the loop; stopping ends the pause and forgets everything but the capture times.
    void pauseAndStop() {
        MonitoringHarness h;
        LogCapture log;
        h.startWithFreshInput();
        h.run(4);
        h.appState.pauseFor(1);
        h.run(59);
        QCOMPARE(h.capturer.captureRequests.size(), 2);
        QVERIFY(monitoringLog(log).contains("Skipping capture tick because monitoring is paused"));
        h.run(1);
        QCOMPARE(h.capturer.captureRequests.size(), 3);
        h.appState.pauseFor(30);
        h.service.stop();
        QVERIFY(!h.appState.isPaused() && !h.appState.isMonitoring() && !h.service.isLoopRunning());
        QCOMPARE(h.appState.nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff(h.clock.now()));
        QCOMPARE(h.clock.pendingTimers(), 0); // neither the loop nor the auto-resume is left waiting
        QCOMPARE(h.input.stopCalls, 1);
        QVERIFY(h.service.screenshotBuffer().isEmpty() && h.store.syncs.last().isEmpty());
        QCOMPARE(h.service.activityState(), MonitoringActivityState::Idle);
        QCOMPARE(h.service.recentCaptureTimestamps().size(), 3);
        QCOMPARE(monitoringLog(log, QtInfoMsg).last(), "Monitoring stopped");
    }

    void intervalChoiceRestartsOnlyARunningLoop() {
        MonitoringHarness h;
        LogCapture log;
        h.appState.setScreenshotInterval(60);
        QCOMPARE(h.clock.pendingTimers(), 0);
        h.service.startFromUserRequest();     // no input: every tick is an idle tick
        h.appState.setScreenshotInterval(60); // the same value restarts too
        h.clock.advance(5.0);
        QCOMPARE(h.clock.pendingTimers(), 1);
        // One tick at each start, then one per second: a second loop would double the count.
        QCOMPARE(monitoringLog(log).count("Skipping capture because monitoring is idle"), 2 + 5);
    }

    // Modes: 0 stop, 1 stop and start again, 2 loop restarted by a new interval choice, 3 stop while the
    // store is writing the capture (the write completes but is not mirrored into the buffer).
    void captureLandingAfterAStopLeavesNothing_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("stopped") << 0;
        QTest::newRow("stopped and started again") << 1;
        QTest::newRow("loop restarted") << 2;
        QTest::newRow("stopped while writing") << 3;
    }
    void captureLandingAfterAStopLeavesNothing() {
        QFETCH(int, mode);
        MonitoringHarness h;
        (mode == 3 ? h.store.persistDelaySeconds : h.capturer.captureDelaySeconds) = 2.0;
        h.startWithFreshInput(); // the wake capture is in flight
        if (mode != 2)
            h.service.stop();
        if (mode == 1)
            h.service.startFromUserRequest();
        if (mode == 2)
            h.appState.setScreenshotInterval(45);
        const auto diagnostics = h.appState.nudgeDiagnostics();
        const auto syncs = h.store.syncs;
        h.clock.advance(2.5);
        QVERIFY(h.service.screenshotBuffer().isEmpty());
        QCOMPARE(h.store.persisted.size(), mode == 3 ? 1 : 0);
        QCOMPARE(h.store.syncs, syncs);
        QCOMPARE(h.appState.nudgeDiagnostics(), diagnostics);
        QVERIFY(h.service.recentCaptureTimestamps().isEmpty());
        QCOMPARE(h.service.analysisEligibleCaptureCount(), 0);
    }

    // MARK: analysis

    void thirdEligibleCaptureAnalyzesTheBurstOnce() {
        MonitoringHarness h;
        LogCapture log;
        h.analyzer.answer = sample();
        h.startWithFreshInput();
        h.run(4);
        QCOMPARE(h.appState.nudgeDiagnostics().detail, monitoring::collectingContextDetail(2));
        QVERIFY(h.analyzer.calls.isEmpty());
        h.run(4);
        QCOMPARE(h.analyzer.calls.value(0), h.service.screenshotBuffer());
        QVERIFY(monitoringLog(log, QtInfoMsg)
                    .contains("Analyzing screenshots selected for activity burst: resumed-after-idle, "
                              "active-interval, active-interval"));
        QCOMPARE(h.appState.currentNudge()->opportunity, sample());
        QCOMPARE(h.service.lastAnalyzedActivityBurstID(), h.service.currentActivityBurstID());

        // A visible nudge freezes the count; later captures of an analysed burst never count.
        h.run(4);
        QVERIFY(monitoringLog(log).contains(
            "Skipping analysis eligibility updates because a nudge is already visible"));
        h.appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        h.run(12);
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(h.service.analysisEligibleCaptureCount(), 0);
        QVERIFY(monitoringLog(log).contains("Skipping analysis eligibility updates for screenshot " +
                                            shortId(h.service.screenshotBuffer().last().id) +
                                            " because this burst was already analyzed"));
        // Stopping takes a card on screen away, recorded as closed.
        Opportunity another = sample();
        another.patternId = QStringLiteral("another");
        h.appState.presentOpportunity(another);
        h.service.stop();
        QVERIFY(!h.appState.currentNudge());
        QCOMPARE(h.appState.nudgeHistory().last().outcome, NudgeOutcome::CloseButton);
    }

    void oneAnalysisAtATime() {
        MonitoringHarness h;
        LogCapture log;
        h.analyzer.delaySeconds = 20;
        h.startWithFreshInput();
        h.run(8);
        const auto first = h.service.currentActivityBurstID();
        QCOMPARE(h.service.inFlightAnalysisBurstID(), first);
        QCOMPARE(h.appState.nudgeDiagnostics().detail, kAnalyzing);
        h.run(4);
        QVERIFY(monitoringLog(log).contains("Skipping analysis eligibility updates for screenshot " +
                                            shortId(h.service.screenshotBuffer().last().id) +
                                            " because this burst is already being analyzed"));
        h.run(1, 20);
        h.run(9); // a second burst reaches three captures while the first is still being analysed
        QVERIFY(monitoringLog(log).contains(
            "Skipping analysis schedule because another analysis task is already running"));
        const auto second = h.service.currentActivityBurstID();
        h.run(6); // the first analysis ends; the second burst keeps its three captures
        QCOMPARE(h.service.lastAnalyzedActivityBurstID(), first);
        QVERIFY(!h.service.isAnalysisRunning());
        h.run(3); // so its next capture starts its analysis
        QCOMPARE(h.analyzer.calls.size(), 2);
        QCOMPARE(h.analyzer.calls[1].last().activityBurstID, second);
    }

    // A forced wake frame and a later byte-identical one leave two distinct screenshots: wait for a third.
    void twoDistinctFramesWaitForTheNextCapture() {
        MonitoringHarness h;
        QList<QUuid> ids;
        for (const char* bytes : {"same", "same", "other", "fourth"}) {
            h.capturer.queued.push_back(
                makeScreenshot(QStringLiteral("Editor"), QStringLiteral("Notes"), 42, bytes));
            ids.append(h.capturer.queued.back()->id);
        }
        h.startWithFreshInput();
        h.run(8);
        QVERIFY(h.analyzer.calls.isEmpty() && !h.service.isAnalysisRunning());
        QCOMPARE(h.appState.nudgeDiagnostics().detail,
                 "Norvane still needs 3 distinct wake/active screenshots from "
                 "the same activity burst before it can ask Gemini.");
        h.run(4);
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(
            (QList<QUuid>{h.analyzer.calls[0][0].id, h.analyzer.calls[0][1].id, h.analyzer.calls[0][2].id}),
            (QList<QUuid>{ids[0], ids[2], ids[3]}));
    }

    // A stop or a pause while the model is thinking: whatever it answers raises no card, and the status
    // stays "off" (stamped at the stop) or "paused".
    void analysisLandingAfterAStopOrPausePresentsNothing() {
        for (const bool pause : {false, true}) {
            for (const bool honours : {true, false}) {
                MonitoringHarness h;
                h.analyzer.answer = sample();
                h.analyzer.delaySeconds = 5.0;
                h.analyzer.honoursCancellation = honours;
                h.startWithFreshInput();
                h.run(8);
                QVERIFY(h.service.isAnalysisRunning());
                h.clock.advance(2.0);
                pause ? h.appState.pauseFor(30) : h.service.stop();
                const NudgePipelineDiagnostics status = h.appState.nudgeDiagnostics();
                QCOMPARE(status.state,
                         pause ? NudgePipelineState::Paused : NudgePipelineState::MonitoringOff);
                QCOMPARE(status.updatedAt, h.clock.now());
                h.clock.advance(10.0);
                QVERIFY(!h.appState.currentNudge() && h.appState.nudgeHistory().isEmpty());
                QCOMPARE(h.appState.nudgeDiagnostics(), status);
                QVERIFY(!h.service.lastAnalyzedActivityBurstID() && !h.service.isAnalysisRunning());
            }
        }
    }
};

QTEST_GUILESS_MAIN(MonitoringLoopTest)
#include "tst_monitoring_loop.moc"
