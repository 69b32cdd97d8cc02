// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/Clock.h"
#include "model/Records.h"
#include "model/ServiceInterfaces.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>

namespace norvane {

// The two actions of the nudge card that need more than a state change: answering the question (which
// yields one recommendation) and copying the recommendation's prompt. It keeps no state of its own; the
// nudge changes only through AppState's operations, so the card simply redraws. Main thread only.
class NudgeCoordinator : public QObject {
    Q_OBJECT

public:
    // `bufferProvider` returns the monitoring service's screenshot buffer, oldest first.
    NudgeCoordinator(PasteboardProviding* pasteboard, AppState* appState, ScreenCapturing* screenCapturer,
                     std::function<QList<Screenshot>()> bufferProvider,
                     RecommendationGenerating* recommendationEngine, ScreenshotPersisting* screenshotStore,
                     Clock* clock, QObject* parent = nullptr);

    // The process-wide instance (defined by the application's composition root).
    static NudgeCoordinator* shared();

    // Returns at once; the recommendation request continues in the background. A blank answer, or no
    // nudge on screen, changes nothing.
    Q_INVOKABLE void submitAnswer(const QString& answer);
    // Puts the current recommendation's prompt, exactly as held, on the clipboard and marks it copied
    // for 1.5 seconds.
    Q_INVOKABLE void copyPrompt();

    static constexpr double promptCopiedSeconds = 1.5;

private:
    QCoro::Task<> requestRecommendation(QUuid nudgeId, Opportunity opportunity, QString answer);
    QCoro::Task<> clearPromptCopiedLater();

    PasteboardProviding* m_pasteboard;
    QPointer<AppState> m_appState;
    ScreenCapturing* m_screenCapturer;
    std::function<QList<Screenshot>()> m_bufferProvider;
    RecommendationGenerating* m_recommendationEngine;
    ScreenshotPersisting* m_screenshotStore;
    Clock* m_clock;
};

} // namespace norvane
