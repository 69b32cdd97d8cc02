// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "NudgeCoordinator.h"

namespace norvane {

NudgeCoordinator::NudgeCoordinator(PasteboardProviding* pasteboard, AppState* appState,
                                   ScreenCapturing* screenCapturer,
                                   std::function<QList<Screenshot>()> bufferProvider,
                                   RecommendationGenerating* recommendationEngine,
                                   ScreenshotPersisting* screenshotStore, Clock* clock, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_appState(appState), m_screenCapturer(screenCapturer),
      m_bufferProvider(std::move(bufferProvider)), m_recommendationEngine(recommendationEngine),
      m_screenshotStore(screenshotStore), m_clock(clock) {}

void NudgeCoordinator::submitAnswer(const QString& answer) {
    const std::optional<QString> trimmedAnswer = nilIfBlank(answer);
    if (!trimmedAnswer || !m_appState)
        return;
    const std::optional<NudgeState>& nudge = m_appState->currentNudge();
    if (!nudge)
        return;
    // A copy: the nudge may be dismissed or replaced while the request runs.
    const Opportunity opportunity = nudge->opportunity;
    const QUuid nudgeId = nudge->id;
    m_appState->beginRecommendation(*trimmedAnswer);
    requestRecommendation(nudgeId, opportunity, *trimmedAnswer);
}

QCoro::Task<> NudgeCoordinator::requestRecommendation(QUuid nudgeId, Opportunity opportunity,
                                                      QString answer) {
    QPointer<NudgeCoordinator> self(this);
    // Stopping monitoring takes the card away: an answer whose card is gone sends no picture anywhere.
    const auto stillAsked = [this, nudgeId] {
        return m_appState && m_appState->currentNudge() && m_appState->currentNudge()->id == nudgeId;
    };

    // Forced, so the unchanged-frame rule cannot drop the one frame this answer is about.
    std::optional<Screenshot> screenshot;
    if (m_screenCapturer && stillAsked())
        screenshot = co_await m_screenCapturer->captureFrontmostWindow(true);
    if (!self || !stillAsked())
        co_return;
    if (!screenshot && m_bufferProvider) {
        const QList<Screenshot> buffer = m_bufferProvider();
        if (!buffer.isEmpty())
            screenshot = buffer.last();
    }

    if (!m_recommendationEngine)
        co_return;
    Expected<Recommendation, GeminiClientError> result =
        co_await m_recommendationEngine->generateRecommendation(opportunity, answer, screenshot);
    if (!self)
        co_return;

    // The answer belongs to one nudge: when that one was dismissed (and perhaps another raised) while the
    // request ran, the outcome must not land on a nudge it was never asked for.
    const bool sameNudge = stillAsked();

    if (!result) {
        if (sameNudge)
            m_appState->failRecommendation(result.error().description());
        co_return;
    }

    // The record is written even when the nudge is gone.
    if (sameNudge)
        m_appState->applyRecommendation(*result);
    if (m_screenshotStore)
        co_await m_screenshotStore->persistRecommendation(*result, opportunity, answer);
}

void NudgeCoordinator::copyPrompt() {
    if (!m_appState)
        return;
    const std::optional<NudgeState>& nudge = m_appState->currentNudge();
    if (!nudge || !nudge->recommendation || !nudge->recommendation->prompt)
        return;
    if (m_pasteboard)
        m_pasteboard->copyString(*nudge->recommendation->prompt);
    m_appState->setPromptCopied(true);
    // Not tracked: every copy schedules its own reset, so the flag falls 1.5 s after the first of
    // several quick copies.
    clearPromptCopiedLater();
}

QCoro::Task<> NudgeCoordinator::clearPromptCopiedLater() {
    QPointer<AppState> appState = m_appState;
    co_await m_clock->sleep(promptCopiedSeconds);
    if (appState)
        appState->setPromptCopied(false);
}

} // namespace norvane
