// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Cancellation.h"
#include "CaptureExclusions.h"
#include "Clock.h"
#include "ModelConnection.h"
#include "Records.h"
#include "ServiceInterfaces.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QVariant>

#include <optional>

namespace norvane {

// The one observable application state: monitoring and pause, the nudge on screen, the nudge history,
// the pipeline diagnostics, suppressed patterns and the persisted settings. Main thread only.
//
// Observed properties notify only when their value changes, except currentNudge, nudgeHistory and
// nudgeDiagnostics, which notify on every assignment.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isMonitoring READ isMonitoring WRITE setIsMonitoring NOTIFY isMonitoringChanged)
    Q_PROPERTY(bool isPaused READ isPaused NOTIFY isPausedChanged)
    Q_PROPERTY(QDateTime pauseResumeTime READ pauseResumeTimeValue NOTIFY pauseResumeTimeChanged)
    Q_PROPERTY(QString pauseResumeTimeText READ pauseResumeTimeText NOTIFY pauseResumeTimeChanged)
    Q_PROPERTY(QVariant currentNudge READ currentNudgeVariant NOTIFY currentNudgeChanged)
    Q_PROPERTY(int nudgeHistoryCount READ nudgeHistoryCount NOTIFY nudgeHistoryChanged)
    Q_PROPERTY(QDateTime lastNudgeTime READ lastNudgeTimeValue NOTIFY lastNudgeTimeChanged)
    Q_PROPERTY(norvane::NudgePipelineDiagnostics nudgeDiagnostics READ nudgeDiagnostics NOTIFY
                   nudgeDiagnosticsChanged)
    Q_PROPERTY(QString apiKey READ apiKey WRITE setApiKey NOTIFY apiKeyChanged)
    Q_PROPERTY(QString modelProvider READ modelProvider WRITE setModelProvider NOTIFY modelSettingsChanged)
    Q_PROPERTY(QString geminiModel READ geminiModel WRITE setGeminiModel NOTIFY modelSettingsChanged)
    Q_PROPERTY(QString openAIBaseURL READ openAIBaseURL WRITE setOpenAIBaseURL NOTIFY modelSettingsChanged)
    Q_PROPERTY(QString openAIModel READ openAIModel WRITE setOpenAIModel NOTIFY modelSettingsChanged)
    Q_PROPERTY(QString openAIApiKey READ openAIApiKey WRITE setOpenAIApiKey NOTIFY modelSettingsChanged)
    Q_PROPERTY(double screenshotInterval READ screenshotInterval WRITE setScreenshotInterval NOTIFY
                   screenshotIntervalChanged)
    Q_PROPERTY(double confidenceThreshold READ confidenceThreshold WRITE setConfidenceThreshold NOTIFY
                   confidenceThresholdChanged)
    Q_PROPERTY(int nudgesPerHour READ nudgesPerHour WRITE setNudgesPerHour NOTIFY nudgeBudgetChanged)
    Q_PROPERTY(int nudgeGapMinutes READ nudgeGapMinutes WRITE setNudgeGapMinutes NOTIFY nudgeBudgetChanged)
    Q_PROPERTY(QStringList excludedApplications READ excludedApplications WRITE setExcludedApplications NOTIFY
                   captureExclusionsChanged)
    Q_PROPERTY(QStringList excludedTitlePatterns READ excludedTitlePatterns WRITE setExcludedTitlePatterns
                   NOTIFY captureExclusionsChanged)

public:
    static inline const QString apiKeyKey = QStringLiteral("gemini_api_key");
    static inline const QString modelProviderKey = QStringLiteral("model_provider");
    static inline const QString geminiModelKey = QStringLiteral("gemini_model");
    static inline const QString openAIBaseURLKey = QStringLiteral("openai_base_url");
    static inline const QString openAIModelKey = QStringLiteral("openai_model");
    static inline const QString openAIApiKeyKey = QStringLiteral("openai_api_key");
    static inline const QString screenshotIntervalKey = QStringLiteral("screenshot_interval");
    static inline const QString confidenceThresholdKey = QStringLiteral("confidence_threshold");
    static inline const QString nudgesPerHourKey = QStringLiteral("nudges_per_hour");
    static inline const QString nudgeGapMinutesKey = QStringLiteral("nudge_gap_minutes");
    static constexpr int defaultNudgesPerHour = 3, maximumNudgesPerHour = 10;
    static constexpr int defaultNudgeGapMinutes = 10, maximumNudgeGapMinutes = 60;
    static constexpr double snoozeMinutes = 60;
    static inline const QString excludedApplicationsKey = QStringLiteral("excluded_applications");
    static inline const QString excludedTitlePatternsKey = QStringLiteral("excluded_title_patterns");

    // `defaults` is where the three settings live; a null presenter drives nothing.
    explicit AppState(QSettings* defaults, NudgePresenting* nudgePresenter = nullptr,
                      Clock* clock = Clock::system(), QObject* parent = nullptr);
    ~AppState() override;

    // The process-wide instance (defined by the application's composition root).
    static AppState* shared();

    bool isMonitoring() const { return m_isMonitoring; }
    void setIsMonitoring(bool value);
    bool isPaused() const { return m_isPaused; }
    const std::optional<QDateTime>& pauseResumeTime() const { return m_pauseResumeTime; }
    const std::optional<NudgeState>& currentNudge() const { return m_currentNudge; }
    const QList<NudgeRecord>& nudgeHistory() const { return m_nudgeHistory; }
    const std::optional<QDateTime>& lastNudgeTime() const { return m_lastNudgeTime; }
    const NudgePipelineDiagnostics& nudgeDiagnostics() const { return m_nudgeDiagnostics; }
    void setNudgeDiagnostics(const NudgePipelineDiagnostics& diagnostics);
    // Sets the diagnostics with updatedAt = now.
    void setNudgeDiagnostics(NudgePipelineState state, const QString& detail);
    const QSet<QString>& suppressedPatterns() const { return m_suppressedPatterns; }

    // Gemini's key.
    QString apiKey() const { return m_apiKey; }
    void setApiKey(const QString& value);
    // The model service: "gemini" or "openai" (any OpenAI-compatible server), each with its own model,
    // address and key.
    QString modelProvider() const { return ModelConnection::providerId(m_modelProvider); }
    void setModelProvider(const QString& value);
    QString geminiModel() const { return m_geminiModel; }
    void setGeminiModel(const QString& value);
    QString openAIBaseURL() const { return m_openAIBaseURL; }
    void setOpenAIBaseURL(const QString& value);
    QString openAIModel() const { return m_openAIModel; }
    void setOpenAIModel(const QString& value);
    QString openAIApiKey() const { return m_openAIApiKey; }
    void setOpenAIApiKey(const QString& value);
    // The chosen provider's connection, with that provider's key alone, trimmed.
    ModelConnection modelConnection() const;
    // Requests can be made: Gemini with a key, or an OpenAI-compatible server at a usable address.
    bool isModelReady() const;
    double screenshotInterval() const { return m_screenshotInterval; }
    void setScreenshotInterval(double value);
    double confidenceThreshold() const { return m_confidenceThreshold; }
    void setConfidenceThreshold(double value);
    // For settings kept by other classes: the stored value (invalid when none), and a write that keeps
    // the settings file private and logs a failure.
    QVariant storedSetting(const QString& key) const {
        return m_defaults ? m_defaults->value(key) : QVariant();
    }
    void writeSetting(const QString& key, const QVariant& value);
    // The nudge budget: at most this many cards in any hour (1 to 10), at least this many minutes apart
    // (0 to 60). Values out of range are clamped.
    int nudgesPerHour() const { return m_nudgesPerHour; }
    void setNudgesPerHour(int value);
    int nudgeGapMinutes() const { return m_nudgeGapMinutes; }
    void setNudgeGapMinutes(int value);
    // When the next card may appear under the budget and the snooze; nothing when one may appear now.
    std::optional<QDateTime> nextNudgeAllowedAt() const;
    // Why no card may appear now, for the diagnostics; empty when one may.
    QString nudgeBudgetDetail() const;
    // Takes the card away and lets none appear for an hour.
    Q_INVOKABLE void snoozeNudges();

    const CaptureExclusions& captureExclusions() const { return m_captureExclusions; }
    QStringList excludedApplications() const { return m_captureExclusions.applications; }
    void setExcludedApplications(const QStringList& value);
    QStringList excludedTitlePatterns() const { return m_captureExclusions.titlePatterns; }
    void setExcludedTitlePatterns(const QStringList& value);

    Clock* clock() const { return m_clock; }
    NudgePresenting* nudgePresenter() const { return m_nudgePresenter; }
    void setNudgePresenter(NudgePresenting* presenter) { m_nudgePresenter = presenter; }

    Q_INVOKABLE void pauseFor(double minutes);
    Q_INVOKABLE void resumeMonitoring();
    void syncPauseIfNeeded();
    void presentOpportunity(const Opportunity& opportunity);
    void beginRecommendation(const QString& answer);
    void applyRecommendation(const Recommendation& recommendation);
    void failRecommendation(const QString& message);
    void setPromptCopied(bool copied);
    void dismissCurrentNudge(NudgeOutcome reason);
    // For QML: the raw value of a NudgeOutcome ("close-button", "not-now", "not-useful", ...).
    Q_INVOKABLE void dismissCurrentNudge(const QString& reasonRawValue);

    // The resume time in the user's locale (hour and minute), or "later" when none is set.
    QString pauseResumeTimeText() const;

Q_SIGNALS:
    void isMonitoringChanged();
    void isPausedChanged();
    void pauseResumeTimeChanged();
    void currentNudgeChanged();
    void nudgeHistoryChanged();
    void lastNudgeTimeChanged();
    void nudgeDiagnosticsChanged();
    void apiKeyChanged();
    void modelSettingsChanged();
    void screenshotIntervalChanged();
    void confidenceThresholdChanged();
    void captureExclusionsChanged();
    void nudgeBudgetChanged();
    // Every assignment of the interval after start-up, equal values included: a running loop restarts.
    void screenshotIntervalAssigned();

private:
    void setIsPaused(bool value);
    void setPauseResumeTime(std::optional<QDateTime> value);
    void setCurrentNudge(std::optional<NudgeState> value);
    void setLastNudgeTime(std::optional<QDateTime> value);
    void appendHistory(const Opportunity& opportunity, NudgeOutcome outcome);
    void scheduleAutoResume();
    QCoro::Task<> autoResume(double seconds, CancellationToken token);
    void setPausedDiagnostics();
    QStringList readExclusionList(const QString& key, const QStringList& fallback) const;
    void restrictSettingsFileReporting();
    void setModelSetting(QString& member, const QString& key, const QString& value);
    void presentOrUpdate();
    void dismissPresenter();

    QVariant currentNudgeVariant() const;
    int nudgeHistoryCount() const { return int(m_nudgeHistory.size()); }
    QDateTime pauseResumeTimeValue() const { return m_pauseResumeTime.value_or(QDateTime()); }
    QDateTime lastNudgeTimeValue() const { return m_lastNudgeTime.value_or(QDateTime()); }

    bool m_isMonitoring = false;
    bool m_isPaused = false;
    std::optional<QDateTime> m_pauseResumeTime;
    std::optional<NudgeState> m_currentNudge;
    QList<NudgeRecord> m_nudgeHistory;
    std::optional<QDateTime> m_lastNudgeTime;
    NudgePipelineDiagnostics m_nudgeDiagnostics;
    QString m_apiKey;
    ModelProvider m_modelProvider = ModelProvider::Gemini;
    QString m_geminiModel;
    QString m_openAIBaseURL = ModelConnection::ollamaBaseURL;
    QString m_openAIModel;
    QString m_openAIApiKey;
    double m_screenshotInterval = 30.0;
    double m_confidenceThreshold = 0.7;
    CaptureExclusions m_captureExclusions = CaptureExclusions::defaults();
    int m_nudgesPerHour = defaultNudgesPerHour;
    int m_nudgeGapMinutes = defaultNudgeGapMinutes;
    std::optional<QDateTime> m_snoozedUntil;
    QSettings* m_defaults;
    NudgePresenting* m_nudgePresenter;
    Clock* m_clock;
    bool m_isBootstrapping = true;
    bool m_reportedTightening = false;
    QSet<QString> m_suppressedPatterns;
    std::optional<CancellationSource> m_pauseTask;
};

// Restricts a settings file (it holds the API key) to the user alone, creating it empty first when it is
// missing, and its folder too when that folder lies inside the user's configuration home and belongs to
// the user. Returns whether a mode had to be tightened.
bool restrictSettingsFile(const QString& fileName);

} // namespace norvane
