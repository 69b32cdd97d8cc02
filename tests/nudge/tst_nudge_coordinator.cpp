#include "fakes/FakeRecommendationEngine.h"
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"

#include <QTest>

#include <memory>
#include <vector>

using namespace norvane;
using namespace norvane::testing;

namespace {

Opportunity sampleOpportunity(const QString& patternId = QStringLiteral("retyping-totals")) {
    Opportunity o;
    o.patternId = patternId;
    o.confidence = 0.9;
    o.observation = QStringLiteral("You copied the same totals into the sheet three times.");
    o.question = QStringLiteral("What are you putting together?");
    o.category = OpportunityCategory::ManualWork;
    return o;
}

} // namespace

class NudgeCoordinatorTest : public QObject {
    Q_OBJECT

    // Built fresh for every test function.
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<FakeNudgePresenter> presenter;
    std::unique_ptr<AppState> appState;
    std::unique_ptr<FakePasteboard> pasteboard;
    std::unique_ptr<FakeScreenCapturer> capturer;
    std::unique_ptr<FakeRecommendationEngine> engine;
    std::unique_ptr<FakeScreenshotStore> store;
    QList<Screenshot> buffer;
    int bufferReads = 0;
    std::unique_ptr<NudgeCoordinator> coordinator;

    QList<NudgeOutcome> outcomes() const {
        QList<NudgeOutcome> result;
        for (const NudgeRecord& record : appState->nudgeHistory())
            result.append(record.outcome);
        return result;
    }

    void showRecommendation(std::optional<QString> prompt) {
        appState->presentOpportunity(sampleOpportunity());
        Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        r.prompt = std::move(prompt);
        engine->replies.push_back(r);
        coordinator->submitAnswer(QStringLiteral("a report"));
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
    }

private slots:
    void init() {
        clock = std::make_unique<ManualClock>();
        presenter = std::make_unique<FakeNudgePresenter>();
        appState = std::make_unique<AppState>(nullptr, presenter.get(), clock.get());
        pasteboard = std::make_unique<FakePasteboard>();
        capturer = std::make_unique<FakeScreenCapturer>();
        capturer->clock = clock.get();
        engine = std::make_unique<FakeRecommendationEngine>();
        store = std::make_unique<FakeScreenshotStore>();
        buffer.clear();
        bufferReads = 0;
        coordinator = std::make_unique<NudgeCoordinator>(
            pasteboard.get(), appState.get(), capturer.get(),
            [this] {
                ++bufferReads;
                return buffer;
            },
            engine.get(), store.get(), clock.get());
    }

    void cleanup() {
        coordinator.reset();
        appState.reset();
    }

    void blankAnswerChangesNothing_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("empty") << QString();
        QTest::newRow("spaces") << QStringLiteral("   ");
        QTest::newRow("spaces and newlines") << QStringLiteral(" \n \t\r\n ");
    }

    void blankAnswerChangesNothing() {
        QFETCH(QString, answer);
        appState->presentOpportunity(sampleOpportunity());
        const NudgeState before = *appState->currentNudge();
        const int presents = presenter->presentCalls;

        coordinator->submitAnswer(answer);
        clock->advance(60);

        QCOMPARE(*appState->currentNudge(), before);
        QCOMPARE(presenter->presentCalls, presents);
        QVERIFY(capturer->captureRequests.isEmpty());
        QVERIFY(engine->calls.isEmpty());
        QVERIFY(store->recommendations.isEmpty());
    }

    void noCurrentNudgeDoesNothing() {
        coordinator->submitAnswer(QStringLiteral("writing the quarterly report"));
        clock->advance(60);

        QVERIFY(!appState->currentNudge());
        QVERIFY(capturer->captureRequests.isEmpty());
        QVERIFY(engine->calls.isEmpty());
        QVERIFY(store->recommendations.isEmpty());
        QCOMPARE(presenter->presentCalls, 0);
    }

    void answerIsTrimmedAndTheRecommendationShown() {
        const Opportunity opportunity = sampleOpportunity();
        appState->presentOpportunity(opportunity);
        capturer->captureDelaySeconds = 0.5;
        engine->clock = clock.get();
        engine->delaySeconds = 4;

        coordinator->submitAnswer(QStringLiteral("  \t writing the quarterly report \n"));

        // At once: the loading face, with the trimmed answer, and a forced capture on its way.
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::LoadingRecommendation);
        QCOMPARE(appState->currentNudge()->userAnswer, QStringLiteral("writing the quarterly report"));
        QCOMPARE(capturer->captureRequests, QList<bool>{true});
        QVERIFY(engine->calls.isEmpty());

        clock->advance(0.5);
        QCOMPARE(engine->calls.size(), 1);
        QCOMPARE(engine->calls[0].userAnswer, QStringLiteral("writing the quarterly report"));
        QCOMPARE(engine->calls[0].opportunity, opportunity);
        QVERIFY(engine->calls[0].currentScreenshot.has_value());
        QCOMPARE(engine->calls[0].currentScreenshot->image, QByteArray("frame-1"));
        QCOMPARE(bufferReads, 0);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::LoadingRecommendation);

        clock->advance(4);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
        QCOMPARE(*appState->currentNudge()->recommendation, FakeRecommendationEngine::sampleRecommendation());
        QCOMPARE(outcomes(), (QList<NudgeOutcome>{NudgeOutcome::Shown, NudgeOutcome::RecommendationShown}));
        QCOMPARE(store->recommendations.size(), 1);
        QCOMPARE(store->recommendations[0].recommendation, FakeRecommendationEngine::sampleRecommendation());
        QCOMPARE(store->recommendations[0].opportunity, opportunity);
        QCOMPARE(store->recommendations[0].userAnswer, QStringLiteral("writing the quarterly report"));
        // The fresh frame is for this request only.
        QVERIFY(store->persisted.isEmpty());
        QVERIFY(store->syncs.isEmpty());
    }

    void screenshotFallsBackToTheNewestBuffered_data() {
        QTest::addColumn<bool>("captureFails");
        QTest::addColumn<int>("buffered");
        QTest::addColumn<QByteArray>("expectedImage"); // empty: no screenshot at all
        QTest::newRow("capture works") << false << 3 << QByteArray("frame-1");
        QTest::newRow("capture fails, three buffered") << true << 3 << QByteArray("buffered-2");
        QTest::newRow("capture fails, one buffered") << true << 1 << QByteArray("buffered-0");
        QTest::newRow("capture fails, buffer empty") << true << 0 << QByteArray();
    }

    void screenshotFallsBackToTheNewestBuffered() {
        QFETCH(bool, captureFails);
        QFETCH(int, buffered);
        QFETCH(QByteArray, expectedImage);
        capturer->returnNothing = captureFails;
        for (int i = 0; i < buffered; ++i)
            buffer.append(makeScreenshot(QStringLiteral("Sheets"), QStringLiteral("Q3"), 7,
                                         QByteArray("buffered-") + QByteArray::number(i)));
        appState->presentOpportunity(sampleOpportunity());

        coordinator->submitAnswer(QStringLiteral("totals"));

        QCOMPARE(capturer->captureRequests, QList<bool>{true});
        QCOMPARE(engine->calls.size(), 1);
        const std::optional<Screenshot>& sent = engine->calls[0].currentScreenshot;
        if (expectedImage.isEmpty()) {
            QVERIFY(!sent.has_value());
        } else {
            QVERIFY(sent.has_value());
            QCOMPARE(sent->image, expectedImage);
        }
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
    }

    void failureReturnsToTheQuestion_data() {
        QTest::addColumn<int>("errorIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("model message") << 0 << QStringLiteral("Add your Gemini API key in Settings.");
        QTest::newRow("unreadable") << 1 << QStringLiteral("Gemini returned an unreadable response.");
        QTest::newRow("transport") << 2 << QStringLiteral("The network connection was lost.");
    }

    void failureReturnsToTheQuestion() {
        QFETCH(int, errorIndex);
        QFETCH(QString, message);
        const std::vector<GeminiClientError> errors{GeminiClientError::apiError(message),
                                                    GeminiClientError::invalidResponse(),
                                                    GeminiClientError::transport(message)};
        engine->replies.push_back(errors[size_t(errorIndex)]);
        appState->presentOpportunity(sampleOpportunity());
        const QUuid id = appState->currentNudge()->id;

        coordinator->submitAnswer(QStringLiteral(" planning the sprint "));

        const NudgeState& nudge = *appState->currentNudge();
        QCOMPARE(nudge.id, id);
        QCOMPARE(nudge.phase, NudgePhase::Question);
        QCOMPARE(nudge.errorMessage, std::optional<QString>(message));
        QCOMPARE(nudge.userAnswer, QStringLiteral("planning the sprint"));
        QVERIFY(!nudge.recommendation);
        QVERIFY(store->recommendations.isEmpty());
        QCOMPARE(outcomes(), QList<NudgeOutcome>{NudgeOutcome::Shown});

        // The user may answer again; the message goes away with the new attempt.
        coordinator->submitAnswer(QStringLiteral("planning the sprint"));
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
        QVERIFY(!appState->currentNudge()->errorMessage);
        QCOMPARE(engine->calls.size(), 2);
    }

    void recordIsPersistedWhenTheNudgeWasDismissedWhileLoading() {
        engine->clock = clock.get();
        engine->delaySeconds = 8;
        const Opportunity opportunity = sampleOpportunity();
        appState->presentOpportunity(opportunity);
        coordinator->submitAnswer(QStringLiteral("the weekly digest"));
        clock->advance(2);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);

        clock->advance(6);

        QVERIFY(!appState->currentNudge());
        QCOMPARE(outcomes(), (QList<NudgeOutcome>{NudgeOutcome::Shown, NudgeOutcome::CloseButton}));
        QCOMPARE(store->recommendations.size(), 1);
        QCOMPARE(store->recommendations[0].opportunity, opportunity);
        QCOMPARE(store->recommendations[0].userAnswer, QStringLiteral("the weekly digest"));
    }

    // A late answer for a dismissed nudge must not land on the next nudge.
    void lateOutcomeLeavesALaterNudgeAlone_data() {
        QTest::addColumn<bool>("fails");
        QTest::newRow("recommendation") << false;
        QTest::newRow("failure") << true;
    }

    void lateOutcomeLeavesALaterNudgeAlone() {
        QFETCH(bool, fails);
        engine->clock = clock.get();
        engine->delaySeconds = 8;
        if (fails)
            engine->replies.push_back(GeminiClientError::emptyResponse());
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("first")));
        coordinator->submitAnswer(QStringLiteral("the weekly digest"));
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("second")));
        const NudgeState second = *appState->currentNudge();

        clock->advance(8);

        QCOMPARE(*appState->currentNudge(), second);
        QCOMPARE(store->recommendations.size(), fails ? 0 : 1);
        if (!fails)
            QCOMPARE(store->recommendations[0].opportunity.patternId, QStringLiteral("first"));
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
            appState->presentOpportunity(sampleOpportunity());
        if (situation == 2)
            showRecommendation(std::nullopt);
        const std::optional<NudgeState> before = appState->currentNudge();
        const int timers = clock->pendingTimers();

        coordinator->copyPrompt();

        QVERIFY(pasteboard->copies.isEmpty());
        QCOMPARE(appState->currentNudge(), before);
        QCOMPARE(clock->pendingTimers(), timers);
    }

    void copyPutsThePromptExactlyAsHeld() {
        const QString prompt = QStringLiteral("\n  Turn these rows into a table:\n  a | b  \n\n");
        showRecommendation(prompt);

        coordinator->copyPrompt();

        QCOMPARE(pasteboard->copies, QStringList{prompt});
        QVERIFY(appState->currentNudge()->didCopyPrompt);
        clock->advance(1.49);
        QVERIFY(appState->currentNudge()->didCopyPrompt);
        clock->advance(0.02);
        QVERIFY(!appState->currentNudge()->didCopyPrompt);
    }

    void twoCopiesOneSecondApart() {
        showRecommendation(QStringLiteral("Summarise"));

        coordinator->copyPrompt();
        clock->advance(1.0);
        coordinator->copyPrompt();
        QCOMPARE(pasteboard->copies.size(), 2);
        QVERIFY(appState->currentNudge()->didCopyPrompt);

        // 1.5 s after the first copy, 0.5 s after the second.
        clock->advance(0.49);
        QVERIFY(appState->currentNudge()->didCopyPrompt);
        clock->advance(0.02);
        QVERIFY(!appState->currentNudge()->didCopyPrompt);
        clock->advance(2);
        QVERIFY(!appState->currentNudge()->didCopyPrompt);
        QCOMPARE(clock->pendingTimers(), 0);
    }
};

QTEST_GUILESS_MAIN(NudgeCoordinatorTest)
#include "tst_nudge_coordinator.moc"
