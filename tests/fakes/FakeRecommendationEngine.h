#pragma once

#include "ManualClock.h"
#include "model/ServiceInterfaces.h"

#include <QList>

#include <deque>

namespace norvane::testing {

// A recommendation engine. Answers from `replies` in order (an empty queue answers with a fixed
// recommendation). With `clock` and `delaySeconds` set, each request takes that long in virtual time.
class FakeRecommendationEngine : public RecommendationGenerating {
public:
    struct Call {
        Opportunity opportunity;
        QString userAnswer;
        std::optional<Screenshot> currentScreenshot;
    };
    QList<Call> calls;
    std::deque<Expected<Recommendation, GeminiClientError>> replies;
    Clock* clock = nullptr;
    double delaySeconds = 0;

    static Recommendation sampleRecommendation() {
        Recommendation r;
        r.headline = QStringLiteral("Let a prompt draft the table");
        r.detail = QStringLiteral("Paste the rows into a chat model and ask for the summary table.");
        r.prompt = QStringLiteral("Summarise these rows as a table.");
        r.effort = QStringLiteral("2 min");
        r.impact = QStringLiteral("Saves 20 minutes");
        return r;
    }

    QCoro::Task<Expected<Recommendation, GeminiClientError>>
    generateRecommendation(Opportunity opportunity, QString userAnswer,
                           std::optional<Screenshot> currentScreenshot) override {
        calls.append({opportunity, userAnswer, currentScreenshot});
        if (clock && delaySeconds > 0)
            co_await clock->sleep(delaySeconds);
        if (replies.empty())
            co_return sampleRecommendation();
        auto reply = replies.front();
        replies.pop_front();
        co_return reply;
    }
};

} // namespace norvane::testing
