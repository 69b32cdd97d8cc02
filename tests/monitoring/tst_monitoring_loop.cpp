// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "MonitoringHarness.h"
#include "monitoring/MonitoringRules.h"

using namespace norvane;
using namespace norvane::testing;
using R = ScreenshotCaptureReason;

namespace {

const FrontmostWindowInfo kOwnWindow{7, QStringLiteral("Norvane"), QStringLiteral("Settings"), true};

Opportunity sample(const QString& patternId = QStringLiteral("retyping")) {
    return {patternId, 0.9, QStringLiteral("Copies rows"), QStringLiteral("Why?"),
            OpportunityCategory::ManualWork};
}

} // namespace

class MonitoringLoopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every 4 s while active, every 12 s while cooling down; a burst ends when the user goes idle; ten
    // captures are kept, cool-down ones go first, and the disk buffer mirrors the memory one.
    void cadencesBurstsAndBuffer() {
        MonitoringHarness h;
        const QDateTime t0 = h.clock.now();
        h.startWithFreshInput();
        const auto burst = h.service.currentActivityBurstID();
        h.run(8);
        h.run(24, 11);
        QCOMPARE(h.service.recentCaptureTimestamps(),
                 (QList<QDateTime>{t0, t0.addSecs(4), t0.addSecs(8), t0.addSecs(20), t0.addSecs(32)}));
        QCOMPARE(h.bufferReasons(), (QList<R>{R::ResumedAfterIdle, R::ActiveInterval, R::ActiveInterval,
                                              R::CooldownInterval, R::CooldownInterval}));
        QVERIFY(burst && h.service.screenshotBuffer()[4].activityBurstID == burst);
        QCOMPARE(h.capturer.captureRequests,
                 (QList<bool>{true, false, false, false, false})); // wake is forced

        h.run(28); // active again: seven more captures
        QCOMPARE(h.service.screenshotBuffer().size(), 10);
        QVERIFY(!h.bufferReasons().contains(R::CooldownInterval));
        QCOMPARE(h.service.screenshotBuffer().first().timestamp, t0);
        QCOMPARE(h.store.syncs.last(), h.service.screenshotBuffer());
        QCOMPARE(h.service.recentCaptureCount(t0.addSecs(3600)), 12); // a capture exactly an hour old stays
        QCOMPARE(h.service.recentCaptureCount(t0.addMSecs(3600001)), 11);

        h.run(1, 20);
        QCOMPARE(h.service.currentActivityBurstID(), std::nullopt);
        h.run(1);
        QVERIFY(h.service.currentActivityBurstID() && h.service.currentActivityBurstID() != burst);
    }

    // Another app, or none before, is an app switch and another window of the same app a window switch, both
    // captured at once; a title that changes by itself (a clock in a terminal) waits for the cadence.
    // Norvane's own windows are neither captured nor observed.
    void windowsInFront() {
        MonitoringHarness h;
        const QDateTime t0 = h.clock.now();
        h.capturer.window = kOwnWindow;
        h.startWithFreshInput();
        for (const auto& [app, id, title] : {std::tuple("Editor", 42u, "Notes"),
                                             {"Editor", 43u, "Notes"},
                                             {"Browser", 43u, "Notes"},
                                             {"Browser", 43u, "12:00:01"}}) {
            h.capturer.window = FrontmostWindowInfo{id, app, title, false};
            h.run(1);
        }
        h.capturer.window = kOwnWindow;
        h.run(1);
        h.capturer.window.reset();
        h.run(1);
        QCOMPARE(h.service.lastCaptureAttemptTime(), t0.addSecs(3));
        QCOMPARE(h.bufferReasons(), (QList<R>{R::AppSwitch, R::WindowSwitch, R::AppSwitch}));
        QCOMPARE(h.capturer.captureRequests.size(), 3);
    }

    // Monitoring starts only with a model to ask (Gemini with a key, or a server at a usable address;
    // else the setup window) and screen recording, asked for first and then in the system settings (else
    // the settings window). A start clears a pause and the disk buffer.
    void startNeedsKeyAndScreenRecording() {
        using M = QList<SettingsPresentationMode>;
        for (const auto& [key, server, grantedWhenAsked, windows] :
             {std::tuple(" \n\t", "", true, M{SettingsPresentationMode::Setup}),
              std::tuple("key", "", false, M{SettingsPresentationMode::Standard}),
              std::tuple(" key ", "", true, M{}), std::tuple("", "http://127.0.0.1:11434/v1", true, M{}),
              std::tuple("key", "http://10.0.0.5/v1", true, M{SettingsPresentationMode::Setup})}) {
            MonitoringHarness h;
            h.appState.setApiKey(key);
            if (*server) {
                h.appState.setModelProvider(QStringLiteral("openai"));
                h.appState.setOpenAIBaseURL(QString::fromLatin1(server));
                h.appState.setOpenAIModel(QStringLiteral("llava"));
            }
            h.permissions.screenRecording = false;
            h.permissions.grantOnRequest = grantedWhenAsked;
            h.appState.pauseFor(30);
            h.service.startFromUserRequest();
            QCOMPARE(h.settingsWindow.shows, windows);
            QCOMPARE(h.permissions.openSettingsCalls, int(!grantedWhenAsked));
            const bool started = windows.isEmpty();
            QCOMPARE(
                (QList<bool>{h.appState.isMonitoring(), h.service.isLoopRunning(), h.input.startCalls == 1,
                             !h.appState.isPaused(), h.store.syncs == QList<QList<Screenshot>>{{}}}),
                QList<bool>(5, started));
        }
    }

    // Where the desktop asks the user what to share (a screen-sharing dialog), a start waits for the
    // answer: one dialog however often the user clicks, monitoring once something is chosen, else the
    // settings window.
    void startWaitsForTheDesktopsSharingDialog() {
        for (const bool chosen : {true, false}) {
            MonitoringHarness h;
            h.appState.setApiKey(QStringLiteral("key"));
            h.permissions.screenRecording = false;
            h.permissions.consentAskable = true;
            h.permissions.chooseOnConsent = chosen;
            h.permissions.clock = &h.clock;
            h.permissions.consentDelaySeconds = 5;
            h.service.startFromUserRequest();
            h.clock.advance(1);
            h.service.startFromUserRequest();
            QVERIFY(!h.appState.isMonitoring() && h.settingsWindow.shows.isEmpty());
            h.clock.advance(5);
            QCOMPARE(h.permissions.consentRequests, 1);
            QCOMPARE(h.appState.isMonitoring(), chosen);
            QCOMPARE(h.service.isLoopRunning(), chosen);
            QCOMPARE(h.settingsWindow.shows,
                     chosen ? QList<SettingsPresentationMode>{}
                            : QList<SettingsPresentationMode>{SettingsPresentationMode::Standard});
            QCOMPARE(h.permissions.openSettingsCalls, 0);
        }
    }

    // A pause holds the loop; stopping ends the pause and forgets everything but the capture times.
    void pauseAndStop() {
        MonitoringHarness h;
        h.startWithFreshInput();
        h.run(4);
        h.appState.pauseFor(1);
        h.run(59);
        QCOMPARE(h.capturer.captureRequests.size(), 2);
        h.run(1);
        QCOMPARE(h.capturer.captureRequests.size(), 3);
        h.appState.pauseFor(30);
        h.service.stop();
        QVERIFY(!h.appState.isPaused() && !h.appState.isMonitoring() && !h.service.isLoopRunning());
        QCOMPARE(h.clock.pendingTimers(), 0); // neither the loop nor the auto-resume is left waiting
        QCOMPARE(h.input.stopCalls, 1);
        QVERIFY(h.service.screenshotBuffer().isEmpty() && h.store.syncs.last().isEmpty());
        QCOMPARE(h.service.recentCaptureTimestamps().size(), 3);
    }

    // A capture in flight when the loop stops or restarts (a new interval choice) leaves no trace; one
    // that the store is still writing completes but is not mirrored into the buffer.
    void captureLandingAfterAStopLeavesNothing() {
        for (const QString how :
             {"stopped", "stopped and started again", "interval changed", "stopped while writing"}) {
            MonitoringHarness h;
            const bool writing = how == "stopped while writing";
            (writing ? h.store.persistDelaySeconds : h.capturer.captureDelaySeconds) = 2.0;
            h.startWithFreshInput();
            if (how != "interval changed")
                h.service.stop();
            if (how == "stopped and started again")
                h.service.startFromUserRequest();
            if (how == "interval changed")
                h.appState.setScreenshotInterval(45);
            const auto diagnostics = h.appState.nudgeDiagnostics();
            const auto syncs = h.store.syncs;
            h.clock.advance(2.5);
            QVERIFY(h.service.screenshotBuffer().isEmpty() && h.service.recentCaptureTimestamps().isEmpty());
            QCOMPARE(h.store.persisted.size(), int(writing));
            QCOMPARE(h.store.syncs, syncs);
            QCOMPARE(h.appState.nudgeDiagnostics(), diagnostics);
            QCOMPARE(h.service.analysisEligibleCaptureCount(), 0);
            QCOMPARE(h.clock.pendingTimers(), int(h.service.isLoopRunning())); // one loop at most
        }
    }

    // The third distinct eligible capture of a burst analyses it, once (a byte-identical frame does not
    // count); stopping takes the card away as closed.
    void thirdDistinctCaptureAnalyzesTheBurstOnce() {
        MonitoringHarness h;
        h.analyzer.answer = sample();
        QList<QUuid> ids;
        for (const char* bytes : {"same", "same", "other", "fourth"}) {
            h.capturer.queued.push_back(makeScreenshot("Editor", "Notes", 42, bytes));
            ids.append(h.capturer.queued.back()->id);
        }
        h.startWithFreshInput();
        h.run(4);
        QCOMPARE(h.appState.nudgeDiagnostics().detail, monitoring::collectingContextDetail(2));
        h.run(4);
        QVERIFY(h.analyzer.calls.isEmpty() && !h.service.isAnalysisRunning());
        QCOMPARE(h.appState.nudgeDiagnostics().detail,
                 "Norvane still needs 3 distinct wake/active screenshots "
                 "from the same activity burst before it can ask Gemini.");
        h.run(4);
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(
            (QList<QUuid>{h.analyzer.calls[0][0].id, h.analyzer.calls[0][1].id, h.analyzer.calls[0][2].id}),
            (QList<QUuid>{ids[0], ids[2], ids[3]}));
        QCOMPARE(h.appState.currentNudge()->opportunity, sample());
        h.run(4); // a visible nudge freezes the count
        h.appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        h.run(12); // later captures of an analysed burst never count
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(h.service.analysisEligibleCaptureCount(), 0);
        h.appState.presentOpportunity(sample(QStringLiteral("another")));
        h.service.stop();
        QVERIFY(!h.appState.currentNudge());
        QCOMPARE(h.appState.nudgeHistory().last().outcome, NudgeOutcome::CloseButton);
    }

    // A second burst that reaches three captures during the first one's analysis keeps its count and is
    // analysed with its next capture.
    void oneAnalysisAtATime() {
        MonitoringHarness h;
        h.analyzer.delaySeconds = 20;
        h.startWithFreshInput();
        h.run(8);
        const auto first = h.service.currentActivityBurstID();
        QCOMPARE(h.service.inFlightAnalysisBurstID(), first);
        QCOMPARE(h.appState.nudgeDiagnostics().detail,
                 "Norvane has enough recent context and is asking Gemini whether the last burst looks worth "
                 "interrupting.");
        h.run(4);
        h.run(1, 20);
        h.run(9);
        QCOMPARE(h.analyzer.calls.size(), 1);
        h.run(6);
        QCOMPARE(h.service.lastAnalyzedActivityBurstID(), first);
        QVERIFY(!h.service.isAnalysisRunning());
        h.run(3);
        QCOMPARE(h.analyzer.calls.size(), 2);
        QVERIFY(h.analyzer.calls[1].last().activityBurstID != first);
    }

    // With the budget spent, a burst is marked analysed without asking the model, and the status says
    // when a card may come; a full-screen window lets a found opportunity go; a snooze holds cards back.
    void nudgeBudget() {
        MonitoringHarness h;
        h.analyzer.answer = sample();
        h.appState.setNudgesPerHour(1);
        const auto nextBurst = [&h] {
            h.run(60, 100); // the last burst ends
            h.run(9);
        };
        const auto says = [&h](const QString& start) {
            return h.appState.nudgeDiagnostics().detail.startsWith(start);
        };
        h.startWithFreshInput();
        h.run(8);
        h.appState.dismissCurrentNudge(NudgeOutcome::NotNow);
        nextBurst();
        QCOMPARE(h.analyzer.calls.size(), 1);
        QVERIFY(says("Nudge budget reached; the next card can appear at "));
        QCOMPARE(h.service.lastAnalyzedActivityBurstID(), h.service.currentActivityBurstID());
        h.clock.advance(3600);
        h.capturer.window->isFullScreen = true;
        nextBurst();
        QCOMPARE(h.analyzer.calls.size(), 2);
        QVERIFY(!h.appState.currentNudge());
        QVERIFY(says("A window was full screen, so Norvane let this nudge go rather than interrupt."));
        h.capturer.window->isFullScreen = false;
        h.appState.snoozeNudges();
        nextBurst();
        QCOMPARE(h.analyzer.calls.size(), 2);
        QVERIFY(says("Nudges are snoozed; the next card can appear at "));
    }

    // A stop or a pause while the model is thinking: whatever it answers raises no card, and the status
    // stays "off" or "paused".
    void analysisLandingAfterAStopOrPausePresentsNothing() {
        for (const bool pause : {false, true}) {
            MonitoringHarness h;
            h.analyzer.answer = sample();
            h.analyzer.delaySeconds = 5.0;
            h.startWithFreshInput();
            h.run(8);
            QVERIFY(h.service.isAnalysisRunning());
            h.clock.advance(2.0);
            pause ? h.appState.pauseFor(30) : h.service.stop();
            const NudgePipelineDiagnostics status = h.appState.nudgeDiagnostics();
            QCOMPARE(status.state, pause ? NudgePipelineState::Paused : NudgePipelineState::MonitoringOff);
            h.clock.advance(10.0);
            QVERIFY(!h.appState.currentNudge() && h.appState.nudgeHistory().isEmpty());
            QCOMPARE(h.appState.nudgeDiagnostics(), status);
            QVERIFY(!h.service.lastAnalyzedActivityBurstID() && !h.service.isAnalysisRunning());
        }
    }
};

QTEST_GUILESS_MAIN(MonitoringLoopTest)
#include "tst_monitoring_loop.moc"
