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

// Produces the one concrete suggestion a nudge ends with, from the opportunity, the user's answer and
// a fresh screenshot. Shows and stores nothing itself: every failure goes to the caller. A request that
// carries the screenshot is noted with `sentRequests` (when given). Main thread.
class RecommendationEngine : public QObject, public RecommendationGenerating {
    Q_OBJECT
public:
    RecommendationEngine(GeminiGenerating* geminiClient, AppState* appState,
                         SentRequestRecording* sentRequests = nullptr, QObject* parent = nullptr);

    // The process-wide instance (defined by the application's composition root).
    static RecommendationEngine* shared();

    // Reads the API key from the application state.
    QCoro::Task<Expected<Recommendation, GeminiClientError>>
    generateRecommendation(Opportunity opportunity, QString userAnswer,
                           std::optional<Screenshot> currentScreenshot) override;

    // The same with an explicit connection; reads nothing from the application state.
    QCoro::Task<Expected<Recommendation, GeminiClientError>>
    generateRecommendation(Opportunity opportunity, QString userAnswer,
                           std::optional<Screenshot> currentScreenshot, ModelConnection connection,
                           CancellationToken cancel = {});

    static QString prompt(const Opportunity& opportunity, const QString& userAnswer);
    static const QString& closingText();

private:
    GeminiGenerating* m_geminiClient;
    SentRequestRecording* m_sentRequests;
    QPointer<AppState> m_appState;
};

} // namespace norvane
