// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/SentRequests.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QPointer>

#include <optional>

namespace norvane {

// What one analysis came to.
struct OpportunityAnalysisOutcome {
    enum class Kind {
        Opportunity,   // worth a nudge: at or above the threshold
        NoOpportunity, // the model was asked and nothing should be shown; `message` says why
        Failure,       // the analysis did not run or its answer was unusable; `message` says why
        Cancelled,     // the caller gave up; nothing is recorded
    };
    Kind kind = Kind::Failure;
    std::optional<Opportunity> opportunity;
    QString message;

    static OpportunityAnalysisOutcome found(Opportunity value) {
        return {Kind::Opportunity, std::move(value), {}};
    }
    static OpportunityAnalysisOutcome none(QString why) {
        return {Kind::NoOpportunity, std::nullopt, std::move(why)};
    }
    static OpportunityAnalysisOutcome failure(QString why) {
        return {Kind::Failure, std::nullopt, std::move(why)};
    }
    static OpportunityAnalysisOutcome cancelled() { return {Kind::Cancelled, std::nullopt, {}}; }
    bool operator==(const OpportunityAnalysisOutcome&) const = default;
};

// Decides whether a burst of activity is worth an interruption: sends three screenshots with the
// coaching prompt to the model, reads its verdict and compares the confidence with the threshold.
// When it returns nothing, the reason is already in the pipeline diagnostics. Every request that leaves
// is noted with `sentRequests` (when given) together with its outcome. Main thread.
class OpportunityAnalyzer : public QObject, public OpportunityAnalyzing {
    Q_OBJECT
public:
    OpportunityAnalyzer(GeminiGenerating* geminiClient, AppState* appState,
                        SentRequestRecording* sentRequests = nullptr, QObject* parent = nullptr);

    // The process-wide instance (defined by the application's composition root).
    static OpportunityAnalyzer* shared();

    // Reads the model connection and the threshold from the application state and writes the diagnostics.
    QCoro::Task<std::optional<Opportunity>> analyze(QList<Screenshot> screenshots,
                                                    CancellationToken cancel = {}) override;

    // Reads nothing from the application state and writes nothing to it.
    QCoro::Task<OpportunityAnalysisOutcome> analyzeOutcome(QList<Screenshot> screenshots,
                                                           ModelConnection connection,
                                                           double confidenceThreshold,
                                                           CancellationToken cancel = {});

    static const QString& analysisPrompt();
    // "Screenshot n: app - title at time [state: ..., reason: ...]", the time in the user's locale.
    static QString caption(int position, const Screenshot& screenshot);
    // The user's locale's medium time style: hours, minutes and seconds, without a time zone.
    static QString mediumTimeText(const QDateTime& timestamp);
    // What the history shows for an outcome: the observation and question, or why there is none.
    static QString verdictText(const OpportunityAnalysisOutcome& outcome);

private:
    static OpportunityAnalysisOutcome interpret(const Expected<QString, GeminiClientError>& reply,
                                                double confidenceThreshold);

    GeminiGenerating* m_geminiClient;
    SentRequestRecording* m_sentRequests;
    QPointer<AppState> m_appState;
};

} // namespace norvane
