#include "MonitoringHarness.h"

#include <QTest>

using namespace norvane;
using namespace norvane::testing;

namespace {

const QString kAnalyzingDetail =
    QStringLiteral("Norvane has enough recent context and is asking Gemini whether the "
                   "last burst looks worth interrupting.");
const QString kNeedsDistinctDetail =
    QStringLiteral("Norvane still needs 3 distinct wake/active screenshots from the "
                   "same activity burst before it can ask Gemini.");

Opportunity makeOpportunity(const QString& patternId = QStringLiteral("retyping-data")) {
    return Opportunity{patternId, 0.9, QStringLiteral("Copies rows by hand"),
                       QStringLiteral("Want a formula?"), OpportunityCategory::ManualWork};
}

// An analyzer that finishes its work even when told to stop, as a slow network reply might.
class StubbornAnalyzer : public OpportunityAnalyzing {
public:
    Clock* clock = nullptr;
    std::optional<Opportunity> answer;
    QList<CancellationToken> tokens;

    QCoro::Task<std::optional<Opportunity>> analyze(QList<Screenshot>, CancellationToken cancel) override {
        tokens.append(cancel);
        co_await clock->sleep(5.0);
        std::optional<Opportunity> result = answer; // a copy: co_return would move the member away
        co_return result;
    }
};

} // namespace

class MonitoringAnalysisTest : public QObject {
    Q_OBJECT

private slots:
    void thirdEligibleCaptureAnalyzesTheBurstOnce() {
        MonitoringHarness h;
        LogCapture log;
        h.startWithFreshInput();
        h.stayActive(4);
        QCOMPARE(
            h.appState.nudgeDiagnostics(),
            (NudgePipelineDiagnostics{NudgePipelineState::CollectingContext,
                                      QStringLiteral("Norvane needs 3 wake/active screenshots in one burst "
                                                     "before it can analyze. Current burst: 2/3."),
                                      h.clock.now()}));
        const QString second = shortId(h.service->screenshotBuffer().last().id);
        QVERIFY(debugLines(log).contains(
            QStringLiteral("Screenshot %1 is eligible for analysis (2/3)").arg(second)));
        QVERIFY(h.analyzer.calls.isEmpty());

        h.stayActive(4);
        const auto buffer = h.service->screenshotBuffer();
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(idsOf(h.analyzer.calls[0]), idsOf(buffer)); // first, middle, last in time order
        QVERIFY(debugLines(log).contains(
            "Scheduling analysis because the active capture threshold was reached via active-interval"));
        QVERIFY(infoLines(log).contains("Analyzing screenshots selected for activity burst: "
                                        "resumed-after-idle, active-interval, active-interval"));
        QCOMPARE(h.appState.nudgeDiagnostics().detail, kAnalyzingDetail);
        QCOMPARE(h.service->lastAnalyzedActivityBurstID(), h.service->currentActivityBurstID());
        QCOMPARE(h.service->inFlightAnalysisBurstID(), std::nullopt);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);
        QVERIFY(!h.service->isAnalysisRunning());

        h.stayActive(4);
        const QString fourth = shortId(h.service->screenshotBuffer().last().id);
        QVERIFY(
            debugLines(log).contains(QStringLiteral("Skipping analysis eligibility updates for screenshot %1 "
                                                    "because this burst was already analyzed")
                                         .arg(fourth)));
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);
    }

    void opportunityBecomesTheCurrentNudge() {
        MonitoringHarness h;
        h.analyzer.answer = makeOpportunity();
        h.startWithFreshInput();
        h.stayActive(8);
        QVERIFY(h.appState.currentNudge().has_value());
        QCOMPARE(h.appState.currentNudge()->opportunity, makeOpportunity());
        QCOMPARE(h.appState.nudgeHistory().size(), 1);
        QCOMPARE(h.appState.nudgeDiagnostics().state, NudgePipelineState::NudgeVisible);
    }

    void burstInFlightIsNotCountedAgain() {
        MonitoringHarness h;
        LogCapture log;
        h.analyzer.delaySeconds = 10.0;
        h.startWithFreshInput();
        h.stayActive(8);
        const auto burst = h.service->currentActivityBurstID();
        QCOMPARE(h.analyzer.calls.size(), 1);
        QVERIFY(h.service->isAnalysisRunning());
        QCOMPARE(h.service->inFlightAnalysisBurstID(), burst);
        QCOMPARE(h.appState.nudgeDiagnostics().detail, kAnalyzingDetail);

        h.stayActive(4);
        const QString fourth = shortId(h.service->screenshotBuffer().last().id);
        QVERIFY(
            debugLines(log).contains(QStringLiteral("Skipping analysis eligibility updates for screenshot %1 "
                                                    "because this burst is already being analyzed")
                                         .arg(fourth)));
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 3);

        h.stayActive(6);
        QVERIFY(!h.service->isAnalysisRunning());
        QCOMPARE(h.service->inFlightAnalysisBurstID(), std::nullopt);
        QCOMPARE(h.service->lastAnalyzedActivityBurstID(), burst);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 0);
        QCOMPARE(h.analyzer.calls.size(), 1);
    }

    // A forced wake frame and a later byte-identical one leave only two distinct screenshots.
    void twoDistinctFingerprintsWaitForTheNextCapture() {
        MonitoringHarness h;
        LogCapture log;
        QList<Screenshot> frames;
        for (const char* bytes : {"same", "same", "other", "fourth"}) {
            Screenshot s = makeScreenshot(QStringLiteral("Editor"), QStringLiteral("Notes"), 42, bytes);
            s.timestamp = h.clock.now().addSecs(4 * frames.size());
            frames.append(s);
            h.capturer.queued.push_back(s);
        }
        h.startWithFreshInput();
        h.stayActive(8);

        QVERIFY(h.analyzer.calls.isEmpty());
        QVERIFY(debugLines(log).contains(
            "Skipping analysis selection because only 2 distinct screenshots were useful enough"));
        QCOMPARE(h.appState.nudgeDiagnostics(),
                 (NudgePipelineDiagnostics{NudgePipelineState::CollectingContext, kNeedsDistinctDetail,
                                           h.clock.now()}));
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 3);
        QCOMPARE(h.service->lastAnalyzedActivityBurstID(), std::nullopt);
        QVERIFY(!h.service->isAnalysisRunning());

        h.stayActive(4);
        QCOMPARE(h.analyzer.calls.size(), 1);
        QCOMPARE(idsOf(h.analyzer.calls[0]), (QList<QUuid>{frames[0].id, frames[2].id, frames[3].id}));
    }

    void visibleNudgeFreezesCounting() {
        MonitoringHarness h;
        LogCapture log;
        h.startWithFreshInput();
        h.appState.presentOpportunity(makeOpportunity(QStringLiteral("earlier")));

        h.stayActive(4);
        QVERIFY(debugLines(log).contains(
            "Skipping analysis eligibility updates because a nudge is already visible"));
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 1);

        h.appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        h.stayActive(4);
        QCOMPARE(h.service->analysisEligibleCaptureCount(), 2);
        QVERIFY(h.analyzer.calls.isEmpty());
        h.stayActive(4);
        QCOMPARE(h.analyzer.calls.size(), 1);
    }

    void analysisFinishingAfterStopPresentsNothing_data() {
        QTest::addColumn<bool>("stubborn");
        QTest::newRow("analyzer honours cancellation") << false;
        QTest::newRow("analyzer ignores cancellation") << true;
    }
    void analysisFinishingAfterStopPresentsNothing() {
        QFETCH(bool, stubborn);
        StubbornAnalyzer stubbornAnalyzer;
        MonitoringHarness h(stubborn ? &stubbornAnalyzer : nullptr);
        stubbornAnalyzer.clock = &h.clock;
        stubbornAnalyzer.answer = makeOpportunity();
        h.analyzer.answer = makeOpportunity();
        h.analyzer.delaySeconds = 5.0;
        h.startWithFreshInput();
        h.stayActive(8);
        QVERIFY(h.service->isAnalysisRunning());

        h.service->stop();
        if (stubborn)
            QVERIFY(stubbornAnalyzer.tokens.value(0).isCancelled());
        h.clock.advance(10.0);

        QCOMPARE(h.appState.currentNudge(), std::nullopt);
        QVERIFY(h.appState.nudgeHistory().isEmpty());
        QCOMPARE(h.appState.nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff());
        QCOMPARE(h.service->lastAnalyzedActivityBurstID(), std::nullopt);
        QVERIFY(!h.service->isAnalysisRunning());
    }
};

QTEST_GUILESS_MAIN(MonitoringAnalysisTest)
#include "tst_monitoring_analysis.moc"
