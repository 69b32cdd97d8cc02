#pragma once

#include "fakes/FakeRecommendationEngine.h"
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"

#include <QTest>

namespace norvane::testing {

inline Opportunity sampleOpportunity(const QString& patternId = QStringLiteral("retyping-totals")) {
    Opportunity o;
    o.patternId = patternId;
    o.confidence = 0.9;
    o.observation =
        QStringLiteral("You have copied totals from the invoice PDFs into the spreadsheet by hand for "
                       "the last ten minutes.");
    o.question = QStringLiteral("What is the spreadsheet for, and where do the invoices come from?");
    o.category = OpportunityCategory::ManualWork;
    return o;
}

// The model side of a nudge on a virtual clock: app state and a coordinator over fakes. The pasteboard
// is a fake unless a real one is given.
struct NudgeRig {
    explicit NudgeRig(PasteboardProviding* realPasteboard = nullptr)
        : coordinator(
              realPasteboard ? realPasteboard : &pasteboard, &appState, &capturer,
              [this] {
                  ++bufferReads;
                  return buffer;
              },
              &engine, &store, &clock) {}

    ManualClock clock;
    FakePasteboard pasteboard;
    FakeScreenCapturer capturer;
    FakeRecommendationEngine engine;
    FakeScreenshotStore store;
    QList<Screenshot> buffer;
    int bufferReads = 0;
    AppState appState{nullptr, nullptr, &clock};
    NudgeCoordinator coordinator;

    void showRecommendation(std::optional<QString> prompt) {
        appState.presentOpportunity(sampleOpportunity());
        Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        r.prompt = std::move(prompt);
        engine.replies.push_back(r);
        coordinator.submitAnswer(QStringLiteral("a report"));
        QCOMPARE(appState.currentNudge()->phase, NudgePhase::Recommendation);
    }

    std::optional<NudgeOutcome> lastOutcome() const {
        if (appState.nudgeHistory().isEmpty())
            return std::nullopt;
        return appState.nudgeHistory().last().outcome;
    }
};

} // namespace norvane::testing
