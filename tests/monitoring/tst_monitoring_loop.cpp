#include "MonitoringHarness.h"

#include <QTest>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(norvane::MonitoringActivityState)
Q_DECLARE_METATYPE(std::optional<norvane::ScreenshotCaptureReason>)

namespace {

const QString kWaitingDetail =
    QStringLiteral("Norvane is waiting for a short burst of recent activity before it analyzes anything.");

// The skip lines of one cadence, counting the remaining seconds down from `from`.
QStringList cadenceSkips(const char* cadence, int from) {
    QStringList lines;
    for (int remaining = from; remaining > 0; --remaining)
        lines.append(
            QStringLiteral("Skipping capture because the %1 interval has not elapsed yet (%2s remaining)")
                .arg(QLatin1String(cadence))
                .arg(remaining));
    return lines;
}

// A store whose capture writes take a second of virtual time.
class SlowStore : public ScreenshotPersisting {
public:
    Clock* clock = nullptr;
    QList<Screenshot> persisted;
    QList<QList<Screenshot>> syncs;

    QCoro::Task<> persistCapture(Screenshot screenshot) override {
        co_await clock->sleep(1.0);
        persisted.append(screenshot);
    }
    QCoro::Task<> syncBuffer(QList<Screenshot> buffer) override {
        syncs.append(buffer);
        co_return;
    }
    QCoro::Task<> persistRecommendation(Recommendation, Opportunity, QString) override { co_return; }
};

} // namespace

class MonitoringLoopTest : public QObject {
    Q_OBJECT

private slots:
    // Rows: the state before the tick, the input age at the tick (negative: no input at all), the state
    // after it and the transition line ("" when the state must not change, "skip" when not checked).
    void transitionTable_data() {
        QTest::addColumn<MonitoringActivityState>("from");
        QTest::addColumn<double>("age");
        QTest::addColumn<MonitoringActivityState>("to");
        QTest::addColumn<QString>("logLine");
        using S = MonitoringActivityState;
        const auto row = [](S from, double age, S to, const char* line) {
            QTest::addRow("state %d, %g s", int(from), age) << from << age << to << line;
        };
        row(S::Idle, -1, S::Idle, "");
        row(S::Idle, 10, S::Wake, "idle -> wake | resumed after meaningful keyboard");
        row(S::Idle, 20, S::Idle, "");
        row(S::Wake, -1, S::Idle, "wake -> idle | no meaningful input observed yet");
        row(S::Wake, 10, S::Active, "wake -> active | last meaningful keyboard was 10s ago");
        row(S::Wake, 16, S::Cooldown, "wake -> cool-down | cooling down after 16s without new input");
        row(S::Wake, 20, S::Idle, "wake -> idle | no meaningful keyboard for 20s");
        row(S::Active, -1, S::Idle, "skip");
        row(S::Active, 10, S::Active, "");
        row(S::Active, 10.001, S::Cooldown, "skip");
        row(S::Active, 19.999, S::Cooldown, "skip");
        row(S::Active, 20, S::Idle, "skip");
        row(S::Cooldown, -1, S::Idle, "skip");
        row(S::Cooldown, 4.5, S::Active, "cool-down -> active | last meaningful keyboard was 5s ago");
        row(S::Cooldown, 15, S::Cooldown, "");
        row(S::Cooldown, 25, S::Idle, "cool-down -> idle | no meaningful keyboard for 25s");
    }
    void transitionTable() {
        QFETCH(MonitoringActivityState, from);
        QFETCH(double, age);
        QFETCH(MonitoringActivityState, to);
        QFETCH(QString, logLine);
        MonitoringHarness h;
        h.service->startFromUserRequest(); // no input yet: idle
        if (from != MonitoringActivityState::Idle) {
            // Input 0 s old at the waking tick, or 12 s old so that the tick after it cools down.
            h.setInputAge(from == MonitoringActivityState::Cooldown ? 11.0 : -1.0);
            h.clock.advance(1.0);
            QCOMPARE(h.service->activityState(), MonitoringActivityState::Wake);
            if (from == MonitoringActivityState::Active)
                h.stayActive(1);
            else if (from == MonitoringActivityState::Cooldown)
                h.clock.advance(1.0);
        }
        QCOMPARE(h.service->activityState(), from);

        LogCapture log;
        if (age < 0)
            h.input.stop(); // forgets the input
        else
            h.setInputAge(age - 1.0);
        h.clock.advance(1.0);

        QCOMPARE(h.service->activityState(), to);
        const auto transitions = linesStartingWith(infoLines(log), QStringLiteral("Activity transition"));
        if (logLine.isEmpty())
            QVERIFY(transitions.isEmpty());
        else if (logLine != QStringLiteral("skip"))
            QCOMPARE(transitions, QStringList{QStringLiteral("Activity transition ") + logLine});
    }

    void activeCadenceCapturesEveryFourSeconds() {
        MonitoringHarness h;
        LogCapture log;
        h.startWithFreshInput();
        QCOMPARE(h.capturer.captureRequests, QList<bool>{true}); // the wake capture is forced
        const QDateTime wakeTime = h.clock.now();

        log.clear();
        h.clock.advance(3.0);
        QCOMPARE(linesStartingWith(debugLines(log), QStringLiteral("Skipping capture because the active")),
                 cadenceSkips("active", 3));
        QCOMPARE(h.capturer.captureRequests.size(), 1);

        h.clock.advance(1.0);
        QCOMPARE(h.capturer.captureRequests, (QList<bool>{true, false}));
        const auto buffer = h.service->screenshotBuffer();
        QCOMPARE(buffer.size(), 2);
        QCOMPARE(buffer[0].captureReason, ScreenshotCaptureReason::ResumedAfterIdle);
        QCOMPARE(buffer[0].activityState, MonitoringActivityState::Wake);
        QCOMPARE(buffer[1].captureReason, ScreenshotCaptureReason::ActiveInterval);
        QCOMPARE(buffer[1].activityState, MonitoringActivityState::Active);
        QVERIFY(buffer[0].activityBurstID.has_value());
        QCOMPARE(buffer[1].activityBurstID, buffer[0].activityBurstID);
        QCOMPARE(h.service->recentCaptureTimestamps(), (QList<QDateTime>{wakeTime, wakeTime.addSecs(4)}));
        QCOMPARE(h.service->successfulCaptureCount(), 2);
        QVERIFY(debugLines(log).contains("Capturing screenshot because active-interval while in active "
                                         "(active cadence interval elapsed)"));
        QVERIFY(infoLines(log).contains("Captured Editor - Notes | reason=active-interval state=active"));
        QCOMPARE(h.store.persisted.size(), 2);
        QCOMPARE(h.store.syncs.last(), buffer);
    }

    // A slow wake capture lets the loop find the user cooling down with the last attempt 8 s old. The
    // cool-down capture never counts towards analysis.
    void cooldownCadenceCapturesEveryTwelveSecondsAndNeverCounts() {
        MonitoringHarness h;
        LogCapture log;
        h.capturer.captureDelaySeconds = 7.0;
        h.setInputAge(5.0);
        h.service->startFromUserRequest();
        h.clock.advance(7.0); // the wake capture lands; the next tick is due a second later
        QCOMPARE(h.service->screenshotBuffer().size(), 1);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 1);
        const auto diagnostics = h.appState.nudgeDiagnostics();

        log.clear();
        h.clock.advance(4.0);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Cooldown);
        QCOMPARE(linesStartingWith(debugLines(log), QStringLiteral("Skipping capture because the cool-down")),
                 cadenceSkips("cool-down", 4));
        QCOMPARE(h.capturer.captureRequests.size(), 1);

        h.clock.advance(1.0 + 7.0);
        QCOMPARE(h.capturer.captureRequests, (QList<bool>{true, false}));
        const auto buffer = h.service->screenshotBuffer();
        QCOMPARE(buffer.size(), 2);
        QCOMPARE(buffer[1].captureReason, ScreenshotCaptureReason::CooldownInterval);
        QCOMPARE(buffer[1].activityState, MonitoringActivityState::Cooldown);
        QVERIFY(
            debugLines(log).contains(QStringLiteral("Skipping LLM analysis trigger for screenshot %1 because "
                                                    "cool-down screenshots are not analyzed")
                                         .arg(shortId(buffer[1].id))));
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 1);
        QCOMPARE(h.appState.nudgeDiagnostics(), diagnostics);
    }

    void windowChangesCaptureAtOnce_data() {
        QTest::addColumn<QString>("appName");
        QTest::addColumn<quint32>("windowID");
        QTest::addColumn<QString>("title");
        QTest::addColumn<std::optional<ScreenshotCaptureReason>>("reason");
        QTest::addColumn<QString>("logLine");
        using R = std::optional<ScreenshotCaptureReason>;
        const R app = ScreenshotCaptureReason::AppSwitch, window = ScreenshotCaptureReason::WindowSwitch;
        const char* const capturing = "Capturing screenshot because ";
        QTest::newRow("another application") << "Browser" << 42u << "Notes" << app
                                             << capturing + QStringLiteral("app-switch while in active "
                                                                           "(frontmost app changed)");
        QTest::newRow("another window") << "Editor" << 43u << "Notes" << window
                                        << capturing + QStringLiteral("window-switch while in active "
                                                                      "(frontmost window changed)");
        QTest::newRow("title only") << "Editor" << 42u << "Notes 2" << window << QString();
        QTest::newRow("title case only") << "Editor" << 42u << "notes" << window << QString();
        QTest::newRow("unchanged") << "Editor" << 42u << "Notes" << R() << cadenceSkips("active", 3).first();
    }
    // One second after a cadence capture, a window change captures anyway.
    void windowChangesCaptureAtOnce() {
        QFETCH(QString, appName);
        QFETCH(quint32, windowID);
        QFETCH(QString, title);
        QFETCH(std::optional<ScreenshotCaptureReason>, reason);
        QFETCH(QString, logLine);
        MonitoringHarness h;
        h.startWithFreshInput();
        h.stayActive(4);
        QCOMPARE(h.capturer.captureRequests.size(), 2);

        LogCapture log;
        h.capturer.window = FrontmostWindowInfo{windowID, appName, title, false};
        h.stayActive(1);

        const auto buffer = h.service->screenshotBuffer();
        if (reason) {
            QCOMPARE(h.capturer.captureRequests, (QList<bool>{true, false, false}));
            QCOMPARE(buffer.last().captureReason, reason);
            QCOMPARE(buffer.last().appName, appName);
        } else {
            QCOMPARE(h.capturer.captureRequests.size(), 2);
        }
        if (!logLine.isEmpty())
            QVERIFY2(debugLines(log).contains(logLine), qPrintable(debugLines(log).join(u'\n')));
    }

    void ownWindowsAndMissingWindowsAreNotCaptured() {
        MonitoringHarness h;
        LogCapture log;
        h.capturer.window =
            FrontmostWindowInfo{7, QStringLiteral("Norvane"), QStringLiteral("Settings"), true};
        h.startWithFreshInput();
        QVERIFY(debugLines(log).contains("Skipping resumed-after-idle capture because Norvane is frontmost"));
        QVERIFY(h.capturer.captureRequests.isEmpty());
        QCOMPARE(h.service->lastCaptureAttemptTime(),
                 h.clock.now()); // the skipped attempt restarts the cadence

        // Another window in front after ours counts as an application switch.
        h.capturer.window = FrontmostWindowInfo{42, QStringLiteral("Editor"), QStringLiteral("Notes"), false};
        h.stayActive(1);
        QCOMPARE(h.capturer.captureRequests, QList<bool>{false});
        QCOMPARE(h.service->screenshotBuffer().last().captureReason, ScreenshotCaptureReason::AppSwitch);

        h.capturer.window.reset();
        h.stayActive(4);
        QVERIFY(debugLines(log).contains(
            "Skipping active-interval capture because no frontmost capturable window context is available"));
        QCOMPARE(h.capturer.captureRequests.size(), 1);
    }

    void burstsRunFromWakeToIdle() {
        MonitoringHarness h;
        h.startWithFreshInput();
        const auto first = h.service->currentActivityBurstID();
        QVERIFY(first.has_value());
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 1);

        h.setInputAge(10.0);
        h.clock.advance(1.0);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Cooldown);
        h.stayActive(1);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Active);
        QCOMPARE(h.service->currentActivityBurstID(), first);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 1); // moves inside a burst keep the count

        h.setInputAge(19.0);
        h.clock.advance(1.0);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Idle);
        QCOMPARE(h.service->currentActivityBurstID(), std::nullopt);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);

        h.stayActive(1);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Wake);
        QVERIFY(h.service->currentActivityBurstID().has_value());
        QVERIFY(h.service->currentActivityBurstID() != first);
    }

    void captureTimesOlderThanAnHourArePruned() {
        MonitoringHarness h;
        h.startWithFreshInput();
        const QDateTime captured = h.clock.now();
        QCOMPARE(h.service->recentCaptureTimestamps(), QList<QDateTime>{captured});
        QCOMPARE(h.service->recentCaptureCount(captured.addSecs(3600)), 1);
        QCOMPARE(h.service->recentCaptureCount(captured.addMSecs(3600 * 1000 + 1)), 0);
        QVERIFY(h.service->recentCaptureTimestamps().isEmpty());
    }

    // Permissions: S screen recording held, R granted when requested, O granted once system settings are
    // opened, A accessibility held.
    void startNeedsKeyAndScreenRecording_data() {
        QTest::addColumn<QString>("apiKey");
        QTest::addColumn<QString>("permissions");
        QTest::addColumn<QList<SettingsPresentationMode>>("windows");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("settingsOpened");
        using M = SettingsPresentationMode;
        using L = QList<M>;
        const auto row = [](const char* name, const char* key, const char* permissions, L windows,
                            int requests, int opened) {
            QTest::newRow(name) << key << permissions << windows << requests << opened;
        };
        row("blank key", " \n\t", "SA", {M::Setup}, 0, 0);
        row("screen recording refused", "key", "A", {M::Standard}, 1, 1);
        row("granted when asked", "key", "RA", {}, 1, 0);
        row("granted in system settings", "key", "OA", {}, 1, 1);
        row("accessibility refused", " key ", "S", {}, 0, 0);
    }
    void startNeedsKeyAndScreenRecording() {
        QFETCH(QString, apiKey);
        QFETCH(QString, permissions);
        QFETCH(QList<SettingsPresentationMode>, windows);
        QFETCH(int, requests);
        QFETCH(int, settingsOpened);
        MonitoringHarness h;
        LogCapture log;
        h.appState.setApiKey(apiKey);
        h.permissions.screenRecording = permissions.contains(u'S');
        h.permissions.grantOnRequest = permissions.contains(u'R');
        h.permissions.grantOnOpenSettings = permissions.contains(u'O');
        h.permissions.accessibility = permissions.contains(u'A');
        h.appState.pauseFor(30);
        const auto pausedDiagnostics = h.appState.nudgeDiagnostics();

        h.service->startFromUserRequest();

        QCOMPARE(h.settingsWindow.shows, windows);
        QCOMPARE(h.permissions.requestCalls, requests);
        QCOMPARE(h.permissions.openSettingsCalls, settingsOpened);
        const bool started = windows.isEmpty();
        QCOMPARE(h.appState.isMonitoring(), started);
        QCOMPARE(h.service->isLoopRunning(), started);
        QCOMPARE(h.input.startCalls, started ? 1 : 0);
        QCOMPARE(h.capturer.resetCalls, started ? 1 : 0);
        QCOMPARE(h.permissions.accessibilityRequests, started ? 1 : 0);
        if (!started) {
            QVERIFY(h.appState.isPaused());
            QCOMPARE(h.appState.nudgeDiagnostics(), pausedDiagnostics);
            QVERIFY(h.store.syncs.isEmpty());
            return;
        }
        QVERIFY(!h.appState.isPaused());
        QCOMPARE(h.appState.nudgeDiagnostics(),
                 (NudgePipelineDiagnostics{NudgePipelineState::WaitingForActivity, kWaitingDetail,
                                           h.clock.now()}));
        QCOMPARE(h.store.syncs,
                 QList<QList<Screenshot>>{QList<Screenshot>{}}); // the on-disk buffer is emptied
        QVERIFY(infoLines(log).contains("Monitoring started"));
    }

    void stopDuringPauseClearsEverything() {
        MonitoringHarness h;
        LogCapture log;
        h.startWithFreshInput();
        h.stayActive(4);
        QCOMPARE(h.service->screenshotBuffer().size(), 2);
        h.appState.pauseFor(30);

        h.service->stop();

        QVERIFY(!h.appState.isPaused());
        QCOMPARE(h.appState.pauseResumeTime(), std::nullopt);
        QVERIFY(!h.appState.isMonitoring());
        QCOMPARE(h.appState.nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff());
        QVERIFY(!h.service->isLoopRunning());
        QCOMPARE(h.clock.pendingTimers(), 0); // neither the loop nor the auto-resume is left waiting
        QCOMPARE(h.input.stopCalls, 1);
        QVERIFY(h.service->screenshotBuffer().isEmpty());
        QCOMPARE(h.service->successfulCaptureCount(), 0);
        QCOMPARE(h.service->activityState(), MonitoringActivityState::Idle);
        QCOMPARE(h.store.syncs.last(), QList<Screenshot>{});
        QCOMPARE(h.service->recentCaptureTimestamps().size(), 2); // capture times outlive a stop
        QCOMPARE(infoLines(log).last(), QStringLiteral("Monitoring stopped"));
    }

    void intervalChoiceRestartsOnlyARunningLoop() {
        MonitoringHarness h;
        LogCapture log;
        h.appState.setScreenshotInterval(60);
        QVERIFY(!h.service->isLoopRunning());
        QCOMPARE(h.clock.pendingTimers(), 0);
        QVERIFY(infoLines(log).isEmpty());

        h.service->startFromUserRequest(); // no input: every tick is an idle tick
        log.clear();
        h.appState.setScreenshotInterval(60); // the same value restarts too
        h.appState.setScreenshotInterval(45);
        QCOMPARE(infoLines(log), (QStringList{"Monitoring started", "Monitoring started"}));
        h.clock.advance(5.0);

        QCOMPARE(h.clock.pendingTimers(), 1);
        // One tick at each restart, then one per second: a second loop would double the count.
        QCOMPARE(debugLines(log).count("Skipping capture because monitoring is idle"), 2 + 5);
    }

    // Modes: 0 stop, 1 stop and start again, 2 loop restarted by a new interval choice.
    void captureFinishingAfterStopLeavesNothing_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("stopped") << 0;
        QTest::newRow("stopped and started again") << 1;
        QTest::newRow("loop restarted") << 2;
    }
    void captureFinishingAfterStopLeavesNothing() {
        QFETCH(int, mode);
        MonitoringHarness h;
        LogCapture log;
        h.capturer.captureDelaySeconds = 2.0;
        h.startWithFreshInput();
        QCOMPARE(h.capturer.captureRequests.size(), 1); // in flight

        if (mode <= 1)
            h.service->stop();
        if (mode == 1)
            h.service->startFromUserRequest();
        if (mode == 2)
            h.appState.setScreenshotInterval(45);
        const auto diagnostics = h.appState.nudgeDiagnostics();
        const auto syncs = h.store.syncs;

        h.clock.advance(2.5);

        QVERIFY(h.service->screenshotBuffer().isEmpty());
        QVERIFY(h.store.persisted.isEmpty());
        QCOMPARE(h.store.syncs, syncs);
        QCOMPARE(h.appState.nudgeDiagnostics(), diagnostics);
        QCOMPARE(h.service->successfulCaptureCount(), 0);
        QVERIFY(h.service->recentCaptureTimestamps().isEmpty());
        QVERIFY(linesStartingWith(infoLines(log), QStringLiteral("Captured")).isEmpty());
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);
        QCOMPARE(h.clock.pendingTimers(), mode == 0 ? 0 : 1);
    }

    // Rows: stop, or only a loop restart, while the capture is being written.
    void storeWritingDuringStop_data() {
        QTest::addColumn<bool>("stop");
        QTest::newRow("stopped: the disk buffer stays empty") << true;
        QTest::newRow("loop restarted: the capture is kept") << false;
    }
    void storeWritingDuringStop() {
        QFETCH(bool, stop);
        SlowStore store;
        MonitoringHarness h(nullptr, &store);
        store.clock = &h.clock;
        h.startWithFreshInput();
        QCOMPARE(h.service->screenshotBuffer().size(), 1); // buffered; the write is under way
        if (stop)
            h.service->stop();
        else
            h.appState.setScreenshotInterval(45);

        h.clock.advance(1.5);

        QCOMPARE(store.persisted.size(), 1); // the write already begun completes in the store
        if (stop) {
            QCOMPARE(store.syncs.last(), QList<Screenshot>{});
            QVERIFY(h.service->screenshotBuffer().isEmpty());
            QVERIFY(h.service->recentCaptureTimestamps().isEmpty());
            QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);
            QCOMPARE(h.appState.nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff());
        } else {
            QCOMPARE(store.syncs.last(), h.service->screenshotBuffer());
            QCOMPARE(h.service->screenshotBuffer().size(), 1);
            QCOMPARE(h.service->successfulCaptureCount(), 1);
            QCOMPARE(h.service->analysisEligibleCaptureCount(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(MonitoringLoopTest)
#include "tst_monitoring_loop.moc"
