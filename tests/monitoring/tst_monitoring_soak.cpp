#include "MonitoringHarness.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

// Eight hours of a working day in virtual time: bursts of typing with window changes, pauses short
// enough to cool down and long enough to go idle, nudges that come and go, and a stop and start every
// hour or so. Whatever happens, the loop's own state must stay bounded.
class MonitoringSoakTest : public QObject {
    Q_OBJECT

private slots:
    void eightHoursOfWorkStayBounded() {
        QLoggingCategory::setFilterRules(QStringLiteral("Norvane.*=false")); // millions of lines otherwise
        MonitoringHarness h;
        QRandomGenerator rng(20261204);
        h.analyzer.delaySeconds = 3.0;
        int opportunityNumber = 0;
        h.analyzer.onAnalyze = [&] {
            h.analyzer.answer =
                rng.bounded(3) == 0
                    ? std::optional(Opportunity{QStringLiteral("pattern-%1").arg(++opportunityNumber),
                                                0.9,
                                                {},
                                                {},
                                                OpportunityCategory::SlowWorkflow})
                    : std::nullopt;
        };
        const QList<FrontmostWindowInfo> windows{
            {11, QStringLiteral("Editor"), QStringLiteral("main.cpp"), false},
            {11, QStringLiteral("Editor"), QStringLiteral("main.h"), false},
            {12, QStringLiteral("Editor"), QStringLiteral("notes.md"), false},
            {21, QStringLiteral("Browser"), QStringLiteral("Docs"), false},
            {31, QStringLiteral("Terminal"), QStringLiteral("build"), false},
            {7, QStringLiteral("Norvane"), QStringLiteral("Settings"), true},
        };

        QSet<QUuid> analysedBursts;
        qsizetype analysedSoFar = 0;
        int captures = 0;
        const QDateTime end = h.clock.now().addSecs(8 * 3600);
        QDateTime nextRestart = h.clock.now().addSecs(3600);
        h.service->startFromUserRequest();

        const auto tick = [&] {
            h.clock.advance(1.0);
            const auto buffer = h.service->screenshotBuffer();
            QVERIFY(buffer.size() <= 10);
            const auto& times = h.service->recentCaptureTimestamps();
            if (!times.isEmpty())
                QVERIFY(Clock::secondsBetween(times.first(), times.last()) <= 3600.0);
            QVERIFY(h.clock.pendingTimers() <= 2); // the loop's sleep and at most one analysis
            if (!h.store.syncs.isEmpty())
                QCOMPARE(h.store.syncs.last(), buffer); // the on-disk buffer mirrors the memory one
            for (; analysedSoFar < h.analyzer.calls.size(); ++analysedSoFar) {
                const auto& batch = h.analyzer.calls[analysedSoFar];
                QCOMPARE(batch.size(), 3);
                const auto burst = batch[0].activityBurstID;
                QVERIFY(burst.has_value());
                for (const auto& s : batch)
                    QCOMPARE(s.activityBurstID, burst);
                QVERIFY2(!analysedBursts.contains(*burst), "a burst was analysed twice");
                analysedBursts.insert(*burst);
            }
            captures += int(h.store.persisted.size());
            h.store.persisted.clear();
            if (h.store.syncs.size() > 1)
                h.store.syncs.remove(0, h.store.syncs.size() - 1);
        };

        while (h.clock.now() < end) {
            // Work: mostly typing, sometimes a pause long enough to cool down, now and then a window change.
            const int workSeconds = int(rng.bounded(20, 400));
            for (int s = 0; s < workSeconds; ++s) {
                if (rng.bounded(100) < 70)
                    h.input.record(h.clock.now(), MeaningfulInputKind(rng.bounded(4)));
                if (rng.bounded(100) < 4)
                    h.capturer.window = windows[rng.bounded(int(windows.size()))];
                tick();
                if (QTest::currentTestFailed())
                    return;
            }
            // A break: the nudge, if any, is answered one way or another.
            if (h.appState.currentNudge())
                h.appState.dismissCurrentNudge(rng.bounded(2) ? NudgeOutcome::CloseButton
                                                              : NudgeOutcome::NotNow);
            const int breakSeconds = int(rng.bounded(5, 900));
            for (int s = 0; s < breakSeconds; ++s) {
                tick();
                if (QTest::currentTestFailed())
                    return;
            }
            if (h.clock.now() >= nextRestart) {
                h.service->stop();
                h.service->startFromUserRequest();
                nextRestart = h.clock.now().addSecs(3600);
            }
        }

        // The run must have exercised the paths it claims to bound.
        QVERIFY(captures > 1000);
        QVERIFY(analysedBursts.size() > 20);
        QVERIFY(h.appState.nudgeHistory().size() > 10); // the only state allowed to grow
        QVERIFY(h.service->recentCaptureTimestamps().size() <= 3601);
        QVERIFY(h.service->screenshotBuffer().size() <= 10);
        QLoggingCategory::setFilterRules(QString());
    }
};

QTEST_GUILESS_MAIN(MonitoringSoakTest)
#include "tst_monitoring_soak.moc"
