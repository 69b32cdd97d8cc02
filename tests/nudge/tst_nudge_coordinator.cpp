#include "NudgeRig.h"

#include <QTest>

#include <memory>

using namespace norvane;
using namespace norvane::testing;

class NudgeCoordinatorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<NudgeRig> rig;
    FakeNudgePresenter presenter;

    QList<NudgeOutcome> outcomes() const {
        QList<NudgeOutcome> result;
        for (const NudgeRecord& record : rig->appState.nudgeHistory())
            result.append(record.outcome);
        return result;
    }

private slots:
    void init() {
        rig = std::make_unique<NudgeRig>();
        presenter = {};
        rig->appState.setNudgePresenter(&presenter);
        rig->capturer.clock = &rig->clock;
    }

    void cleanup() { rig.reset(); }

    void blankAnswerOrNoNudgeChangesNothing_data() {
        QTest::addColumn<bool>("withNudge");
        QTest::addColumn<QString>("answer");
        QTest::newRow("no nudge") << false << QStringLiteral("writing the quarterly report");
        QTest::newRow("empty") << true << QString();
        QTest::newRow("whitespace") << true << QStringLiteral(" \n \t\r\n ");
    }

    void blankAnswerOrNoNudgeChangesNothing() {
        QFETCH(bool, withNudge);
        QFETCH(QString, answer);
        if (withNudge)
            rig->appState.presentOpportunity(sampleOpportunity());
        const std::optional<NudgeState> before = rig->appState.currentNudge();
        const int presents = presenter.presentCalls;

        rig->coordinator.submitAnswer(answer);
        rig->clock.advance(60);

        QCOMPARE(rig->appState.currentNudge(), before);
        QCOMPARE(presenter.presentCalls, presents);
        QVERIFY(rig->capturer.captureRequests.isEmpty());
        QVERIFY(rig->engine.calls.isEmpty());
        QVERIFY(rig->store.recommendations.isEmpty());
    }

    void answerIsTrimmedAndTheRecommendationShown() {
        const Opportunity opportunity = sampleOpportunity();
        const QString trimmed = QStringLiteral("writing the quarterly report");
        rig->appState.presentOpportunity(opportunity);
        rig->capturer.captureDelaySeconds = 0.5;
        rig->engine.clock = &rig->clock;
        rig->engine.delaySeconds = 4;

        rig->coordinator.submitAnswer(QStringLiteral("  \t writing the quarterly report \n"));

        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::LoadingRecommendation);
        QCOMPARE(rig->appState.currentNudge()->userAnswer, trimmed);
        QCOMPARE(rig->capturer.captureRequests, QList<bool>{true});
        QVERIFY(rig->engine.calls.isEmpty());

        rig->clock.advance(0.5);
        QCOMPARE(rig->engine.calls.size(), 1);
        QCOMPARE(rig->engine.calls[0].userAnswer, trimmed);
        QCOMPARE(rig->engine.calls[0].opportunity, opportunity);
        QCOMPARE(rig->engine.calls[0].currentScreenshot.value().image, QByteArray("frame-1"));
        QCOMPARE(rig->bufferReads, 0);

        rig->clock.advance(4);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::Recommendation);
        QCOMPARE(*rig->appState.currentNudge()->recommendation,
                 FakeRecommendationEngine::sampleRecommendation());
        QCOMPARE(outcomes(), (QList<NudgeOutcome>{NudgeOutcome::Shown, NudgeOutcome::RecommendationShown}));
        QCOMPARE(rig->store.recommendations.size(), 1);
        QCOMPARE(rig->store.recommendations[0].recommendation,
                 FakeRecommendationEngine::sampleRecommendation());
        QCOMPARE(rig->store.recommendations[0].opportunity, opportunity);
        QCOMPARE(rig->store.recommendations[0].userAnswer, trimmed);
        // The fresh frame is for this request only.
        QVERIFY(rig->store.persisted.isEmpty());
        QVERIFY(rig->store.syncs.isEmpty());
    }

    void screenshotFallsBackToTheNewestBuffered_data() {
        QTest::addColumn<bool>("captureFails");
        QTest::addColumn<int>("buffered");
        QTest::addColumn<QByteArray>("expectedImage"); // empty: no screenshot at all
        QTest::newRow("capture works") << false << 3 << QByteArray("frame-1");
        QTest::newRow("capture fails") << true << 3 << QByteArray("buffered-2");
        QTest::newRow("capture fails, buffer empty") << true << 0 << QByteArray();
    }

    void screenshotFallsBackToTheNewestBuffered() {
        QFETCH(bool, captureFails);
        QFETCH(int, buffered);
        QFETCH(QByteArray, expectedImage);
        rig->capturer.returnNothing = captureFails;
        for (int i = 0; i < buffered; ++i)
            rig->buffer.append(makeScreenshot(QStringLiteral("Sheets"), QStringLiteral("Q3"), 7,
                                              QByteArray("buffered-") + QByteArray::number(i)));
        rig->appState.presentOpportunity(sampleOpportunity());

        rig->coordinator.submitAnswer(QStringLiteral("totals"));

        QCOMPARE(rig->capturer.captureRequests, QList<bool>{true});
        QCOMPARE(rig->engine.calls.size(), 1);
        const std::optional<Screenshot>& sent = rig->engine.calls[0].currentScreenshot;
        QCOMPARE(sent.has_value(), !expectedImage.isEmpty());
        if (sent)
            QCOMPARE(sent->image, expectedImage);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::Recommendation);
    }

    void failureReturnsToTheQuestion_data() {
        QTest::addColumn<GeminiClientError>("error");
        QTest::addColumn<QString>("message");
        const QString apiMessage = QStringLiteral("Add your Gemini API key in Settings.");
        QTest::newRow("model message") << GeminiClientError::apiError(apiMessage) << apiMessage;
        QTest::newRow("unreadable") << GeminiClientError::invalidResponse()
                                    << QStringLiteral("Gemini returned an unreadable response.");
    }

    void failureReturnsToTheQuestion() {
        QFETCH(GeminiClientError, error);
        QFETCH(QString, message);
        rig->engine.replies.push_back(error);
        rig->appState.presentOpportunity(sampleOpportunity());
        const QUuid id = rig->appState.currentNudge()->id;

        rig->coordinator.submitAnswer(QStringLiteral(" planning the sprint "));

        const NudgeState& nudge = *rig->appState.currentNudge();
        QCOMPARE(nudge.id, id);
        QCOMPARE(nudge.phase, NudgePhase::Question);
        QCOMPARE(nudge.errorMessage, std::optional<QString>(message));
        QCOMPARE(nudge.userAnswer, QStringLiteral("planning the sprint"));
        QVERIFY(!nudge.recommendation);
        QVERIFY(rig->store.recommendations.isEmpty());
        QCOMPARE(outcomes(), QList<NudgeOutcome>{NudgeOutcome::Shown});

        // Answering again clears the message.
        rig->coordinator.submitAnswer(QStringLiteral("planning the sprint"));
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::Recommendation);
        QVERIFY(!rig->appState.currentNudge()->errorMessage);
    }

    // A nudge dismissed while loading keeps its outcome; its recommendation is still stored, and the late
    // outcome does not land on the next nudge.
    void lateOutcomeLeavesALaterNudgeAlone_data() {
        QTest::addColumn<bool>("fails");
        QTest::newRow("recommendation") << false;
        QTest::newRow("failure") << true;
    }

    void lateOutcomeLeavesALaterNudgeAlone() {
        QFETCH(bool, fails);
        rig->engine.clock = &rig->clock;
        rig->engine.delaySeconds = 8;
        if (fails)
            rig->engine.replies.push_back(GeminiClientError::emptyResponse());
        rig->appState.presentOpportunity(sampleOpportunity(QStringLiteral("first")));
        rig->coordinator.submitAnswer(QStringLiteral("the weekly digest"));
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        rig->appState.presentOpportunity(sampleOpportunity(QStringLiteral("second")));
        const NudgeState second = *rig->appState.currentNudge();

        rig->clock.advance(8);

        QCOMPARE(*rig->appState.currentNudge(), second);
        QCOMPARE(outcomes(),
                 (QList<NudgeOutcome>{NudgeOutcome::Shown, NudgeOutcome::CloseButton, NudgeOutcome::Shown}));
        QCOMPARE(rig->store.recommendations.size(), fails ? 0 : 1);
        if (!fails) {
            QCOMPARE(rig->store.recommendations[0].opportunity.patternId, QStringLiteral("first"));
            QCOMPARE(rig->store.recommendations[0].userAnswer, QStringLiteral("the weekly digest"));
        }
    }

    void copyWithoutAPromptTouchesNothing_data() {
        QTest::addColumn<int>("situation");
        QTest::newRow("no nudge") << 0;
        QTest::newRow("question, no recommendation") << 1;
        QTest::newRow("recommendation without prompt") << 2;
    }

    void copyWithoutAPromptTouchesNothing() {
        QFETCH(int, situation);
        if (situation == 1)
            rig->appState.presentOpportunity(sampleOpportunity());
        if (situation == 2)
            rig->showRecommendation(std::nullopt);
        const std::optional<NudgeState> before = rig->appState.currentNudge();
        const int timers = rig->clock.pendingTimers();

        rig->coordinator.copyPrompt();

        QVERIFY(rig->pasteboard.copies.isEmpty());
        QCOMPARE(rig->appState.currentNudge(), before);
        QCOMPARE(rig->clock.pendingTimers(), timers);
    }

    // Each copy puts the prompt exactly as held; the Copied mark ends 1.5 s after the first copy.
    void twoCopiesOneSecondApart() {
        const QString prompt = QStringLiteral("\n  Turn these rows into a table:\n  a | b  \n\n");
        rig->showRecommendation(prompt);

        rig->coordinator.copyPrompt();
        QVERIFY(rig->appState.currentNudge()->didCopyPrompt);
        rig->clock.advance(1.0);
        rig->coordinator.copyPrompt();
        QCOMPARE(rig->pasteboard.copies, (QStringList{prompt, prompt}));

        rig->clock.advance(0.49);
        QVERIFY(rig->appState.currentNudge()->didCopyPrompt);
        rig->clock.advance(0.02);
        QVERIFY(!rig->appState.currentNudge()->didCopyPrompt);
        rig->clock.advance(2);
        QVERIFY(!rig->appState.currentNudge()->didCopyPrompt);
        QCOMPARE(rig->clock.pendingTimers(), 0);
    }
};

QTEST_GUILESS_MAIN(NudgeCoordinatorTest)
#include "tst_nudge_coordinator.moc"
