#include "MonitoringHarness.h"

#include <QRandomGenerator>

using namespace norvane;
using namespace norvane::testing;

// Eight hours of a working day in virtual time: bursts of input with window changes, pauses that cool
// down or go idle, nudges that come and go, a stop and start every hour. The loop's own state must stay
// bounded and every analysis must cover three captures of one burst never analysed before.
class MonitoringSoakTest : public QObject {
    Q_OBJECT

private slots:
    void eightHoursOfWorkStayBounded() {
        QLoggingCategory::setFilterRules(QStringLiteral("Norvane.*=false")); // millions of lines otherwise
        MonitoringHarness h;
        QRandomGenerator rng(20261204);
        h.analyzer.delaySeconds = 3.0;
        h.analyzer.onAnalyze = [&] {
            h.analyzer.answer = rng.bounded(3)
                                    ? std::nullopt
                                    : std::optional(Opportunity{QUuid::createUuid().toString(), 0.9});
        };
        const QList<FrontmostWindowInfo> windows{{11, "Editor", "main.cpp", false},
                                                 {11, "Editor", "main.h", false},
                                                 {21, "Browser", "Docs", false},
                                                 {7, "Norvane", "Settings", true}};
        QSet<QUuid> analysedBursts;
        for (int hour = 0; hour < 8; ++hour) {
            h.service.stop();
            h.service.startFromUserRequest();
            for (const QDateTime end = h.clock.now().addSecs(3600); h.clock.now() < end;) {
                // Work for 20 s to 7 min, then a break of up to 15 min, after which any nudge is answered.
                for (const bool working : {true, false}) {
                    for (int s = int(rng.bounded(working ? 20 : 5, working ? 400 : 900)); s > 0; --s) {
                        if (working && rng.bounded(100) < 70)
                            h.input.record(h.clock.now(), MeaningfulInputKind(rng.bounded(4)));
                        if (working && rng.bounded(100) < 4)
                            h.capturer.window = windows[rng.bounded(int(windows.size()))];
                        h.clock.advance(1.0);
                        const auto& times = h.service.recentCaptureTimestamps();
                        QVERIFY(times.isEmpty() ||
                                Clock::secondsBetween(times.first(), times.last()) <= 3600.0);
                        QVERIFY(h.service.screenshotBuffer().size() <= 10);
                        QVERIFY(h.clock.pendingTimers() <= 2); // the loop's sleep and at most one analysis
                        QCOMPARE(h.store.syncs.last(), h.service.screenshotBuffer());
                    }
                }
                if (h.appState.currentNudge())
                    h.appState.dismissCurrentNudge(rng.bounded(2) ? NudgeOutcome::CloseButton
                                                                  : NudgeOutcome::NotNow);
            }
        }
        for (const auto& batch : h.analyzer.calls) {
            QCOMPARE(batch.size(), 3);
            QVERIFY(batch[0].activityBurstID && batch[1].activityBurstID == batch[0].activityBurstID &&
                    batch[2].activityBurstID == batch[0].activityBurstID);
            QVERIFY2(!analysedBursts.contains(*batch[0].activityBurstID), "a burst was analysed twice");
            analysedBursts.insert(*batch[0].activityBurstID);
        }
        // The run must have exercised the paths it claims to bound.
        QVERIFY(h.store.persisted.size() > 1000 && analysedBursts.size() > 20 &&
                h.appState.nudgeHistory().size() > 10);
        QLoggingCategory::setFilterRules(QString());
    }
};

QTEST_GUILESS_MAIN(MonitoringSoakTest)
#include "tst_monitoring_soak.moc"
