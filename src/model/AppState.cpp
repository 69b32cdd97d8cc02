// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "AppState.h"

#include "Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>

namespace norvane {

namespace {

const QString kResumeWaitingDetail = QStringLiteral(
    "Norvane is watching for a short burst of recent activity before it asks Gemini anything.");
const QString kNudgeVisibleDetail =
    QStringLiteral("Gemini found a likely opportunity and the nudge should now be visible.");
const QString kSuppressedDetail =
    QStringLiteral("Gemini recognized a pattern you already dismissed, so Norvane is not showing it again.");
const QString kDismissedWaitingDetail = QStringLiteral(
    "No nudge cooldown is active. Norvane can show the next worthwhile opportunity as soon as it sees one.");

// The auto-resume sleep is a nanosecond count that must fit an unsigned 64-bit integer.
constexpr double kMaxSleepSeconds = double(std::numeric_limits<quint64>::max()) / 1e9;

// A stored value as text; anything the store cannot give as text reads as the empty text.
QString readText(const QVariant& value) {
    if (!value.isValid() || value.typeId() == QMetaType::QStringList ||
        value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QVariantMap ||
        !value.canConvert<QString>())
        return {};
    return value.toString();
}

// A stored value as a double; missing or unreadable reads as 0.
double readDouble(const QVariant& value) {
    bool ok = false;
    const double result = value.toDouble(&ok);
    return ok && std::isfinite(result) ? result : 0.0;
}

} // namespace

bool restrictSettingsFile(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    constexpr auto ownerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;
    constexpr auto ownerOnlyFolder = ownerOnlyFile | QFile::ExeOwner;
    constexpr auto anyoneElse = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                QFile::WriteOther | QFile::ExeOther;
    const QFileInfo info(fileName);
    const QString folder = info.absolutePath();
    const QString configHome =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).absolutePath();
    const uint user = QFileInfo(QDir::homePath()).ownerId();
    bool tightened = false;

    QDir().mkpath(folder);
    // Only a folder of our own: the configuration home itself, a folder outside it (a settings file
    // given by path) or somebody else's folder keeps its mode. When something other than a folder
    // stands there, the write fails later and is reported there.
    const QFileInfo folderInfo(folder);
    if (folderInfo.isDir() && !folderInfo.isSymLink() && folderInfo.ownerId() == user &&
        folder.startsWith(configHome + QLatin1Char('/')) && (folderInfo.permissions() & anyoneElse)) {
        tightened = QFile::setPermissions(folder, ownerOnlyFolder) || tightened;
    }
    if (!info.exists()) {
        // Created empty first, so the key is never written into a file others can read.
        QFile file(fileName);
        if (file.open(QIODevice::WriteOnly))
            file.close();
        QFile::setPermissions(fileName, ownerOnlyFile);
        return tightened;
    }
    const QFileInfo fileInfo(fileName);
    if (fileInfo.isFile() && !fileInfo.isSymLink() && fileInfo.ownerId() == user &&
        (fileInfo.permissions() & anyoneElse))
        tightened = QFile::setPermissions(fileName, ownerOnlyFile) || tightened;
    return tightened;
}

AppState::AppState(QSettings* defaults, NudgePresenting* nudgePresenter, Clock* clock, QObject* parent)
    : QObject(parent), m_nudgeDiagnostics(NudgePipelineDiagnostics::monitoringOff(clock->now())),
      m_defaults(defaults), m_nudgePresenter(nudgePresenter), m_clock(clock) {
    if (m_defaults) {
        // A settings file restored from a backup or written by another tool may be readable by others.
        if (QFileInfo::exists(m_defaults->fileName()))
            restrictSettingsFileReporting();
        setApiKey(readText(m_defaults->value(apiKeyKey)));
        setModelProvider(readText(m_defaults->value(modelProviderKey)));
        setGeminiModel(readText(m_defaults->value(geminiModelKey)));
        if (const QString base = readText(m_defaults->value(openAIBaseURLKey)); !base.isEmpty())
            setOpenAIBaseURL(base);
        setOpenAIModel(readText(m_defaults->value(openAIModelKey)));
        setOpenAIApiKey(readText(m_defaults->value(openAIApiKeyKey)));
        const double interval = readDouble(m_defaults->value(screenshotIntervalKey));
        setScreenshotInterval(interval == 0.0 ? 30.0 : interval);
        const double threshold = readDouble(m_defaults->value(confidenceThresholdKey));
        setConfidenceThreshold(threshold == 0.0 ? 0.7 : threshold);
        bool ok = false;
        if (const int perHour = m_defaults->value(nudgesPerHourKey).toInt(&ok); ok)
            setNudgesPerHour(perHour);
        if (const int gap = m_defaults->value(nudgeGapMinutesKey).toInt(&ok); ok)
            setNudgeGapMinutes(gap);
        const CaptureExclusions defaults = CaptureExclusions::defaults();
        m_captureExclusions = {readExclusionList(excludedApplicationsKey, defaults.applications),
                               readExclusionList(excludedTitlePatternsKey, defaults.titlePatterns)};
    }
    m_isBootstrapping = false;
}

AppState::~AppState() {
    if (m_pauseTask)
        m_pauseTask->cancel();
}

// MARK: - Observed properties

void AppState::setIsMonitoring(bool value) {
    if (m_isMonitoring == value)
        return;
    m_isMonitoring = value;
    Q_EMIT isMonitoringChanged();
}

void AppState::setIsPaused(bool value) {
    if (m_isPaused == value)
        return;
    m_isPaused = value;
    Q_EMIT isPausedChanged();
}

void AppState::setPauseResumeTime(std::optional<QDateTime> value) {
    if (m_pauseResumeTime == value)
        return;
    m_pauseResumeTime = std::move(value);
    Q_EMIT pauseResumeTimeChanged();
}

void AppState::setCurrentNudge(std::optional<NudgeState> value) {
    m_currentNudge = std::move(value);
    Q_EMIT currentNudgeChanged();
}

void AppState::setLastNudgeTime(std::optional<QDateTime> value) {
    if (m_lastNudgeTime == value)
        return;
    m_lastNudgeTime = std::move(value);
    Q_EMIT lastNudgeTimeChanged();
}

void AppState::setNudgeDiagnostics(const NudgePipelineDiagnostics& diagnostics) {
    m_nudgeDiagnostics = diagnostics;
    Q_EMIT nudgeDiagnosticsChanged();
}

void AppState::setNudgeDiagnostics(NudgePipelineState state, const QString& detail) {
    setNudgeDiagnostics(NudgePipelineDiagnostics{state, detail, m_clock->now()});
}

QVariant AppState::currentNudgeVariant() const {
    if (!m_currentNudge)
        return {};
    return QVariant::fromValue(*m_currentNudge);
}

// MARK: - Settings

void AppState::writeSetting(const QString& key, const QVariant& value) {
    if (!m_defaults)
        return;
    restrictSettingsFileReporting();
    m_defaults->setValue(key, value);
    m_defaults->sync();
    // A setting that silently fails to persist would come back as the old value at the next launch.
    if (m_defaults->status() != QSettings::NoError)
        qCCritical(lcAppState, "Could not save the setting %s to %s.", qPrintable(key),
                   qPrintable(m_defaults->fileName()));
    // The store replaces the file on sync; the new one must be as private as the old.
    restrictSettingsFileReporting();
}

void AppState::restrictSettingsFileReporting() {
    if (!restrictSettingsFile(m_defaults->fileName()) || m_reportedTightening)
        return;
    m_reportedTightening = true;
    qCInfo(lcAppState, "Other users could open the settings file %s or its folder; both are now private.",
           qPrintable(m_defaults->fileName()));
}

void AppState::setApiKey(const QString& value) {
    const bool changed = m_apiKey != value;
    m_apiKey = value;
    if (changed)
        Q_EMIT apiKeyChanged();
    if (!m_isBootstrapping)
        writeSetting(apiKeyKey, value);
}

void AppState::setModelProvider(const QString& value) {
    const ModelProvider provider = ModelConnection::providerFromId(value);
    if (m_modelProvider == provider)
        return;
    m_modelProvider = provider;
    Q_EMIT modelSettingsChanged();
    if (!m_isBootstrapping)
        writeSetting(modelProviderKey, modelProvider());
}

void AppState::setModelSetting(QString& member, const QString& key, const QString& value) {
    if (member == value)
        return;
    member = value;
    Q_EMIT modelSettingsChanged();
    if (!m_isBootstrapping)
        writeSetting(key, value);
}

void AppState::setGeminiModel(const QString& value) {
    setModelSetting(m_geminiModel, geminiModelKey, value);
}

void AppState::setOpenAIBaseURL(const QString& value) {
    setModelSetting(m_openAIBaseURL, openAIBaseURLKey, value);
}

void AppState::setOpenAIModel(const QString& value) {
    setModelSetting(m_openAIModel, openAIModelKey, value);
}

void AppState::setOpenAIApiKey(const QString& value) {
    setModelSetting(m_openAIApiKey, openAIApiKeyKey, value);
}

ModelConnection AppState::modelConnection() const {
    if (m_modelProvider == ModelProvider::Gemini)
        return {ModelProvider::Gemini, QUrl(), m_geminiModel.trimmed(), m_apiKey.trimmed()};
    return {ModelProvider::OpenAICompatible, QUrl(m_openAIBaseURL.trimmed(), QUrl::StrictMode),
            m_openAIModel.trimmed(), m_openAIApiKey.trimmed()};
}

bool AppState::isModelReady() const {
    const ModelConnection connection = modelConnection();
    return connection.needsApiKey() ? !connection.apiKey.isEmpty() : connection.problem().isEmpty();
}

void AppState::setScreenshotInterval(double value) {
    const bool changed = m_screenshotInterval != value;
    m_screenshotInterval = value;
    if (changed)
        Q_EMIT screenshotIntervalChanged();
    if (!m_isBootstrapping) {
        writeSetting(screenshotIntervalKey, value);
        Q_EMIT screenshotIntervalAssigned();
    }
}

void AppState::setConfidenceThreshold(double value) {
    const bool changed = m_confidenceThreshold != value;
    m_confidenceThreshold = value;
    if (changed)
        Q_EMIT confidenceThresholdChanged();
    if (!m_isBootstrapping)
        writeSetting(confidenceThresholdKey, value);
}

QStringList AppState::readExclusionList(const QString& key, const QStringList& fallback) const {
    if (!m_defaults->contains(key))
        return fallback;
    if (const auto stored = CaptureExclusions::fromStoredValue(m_defaults->value(key)))
        return *stored;
    qCWarning(lcAppState, "The setting %s could not be read; the default exclusions apply.", qPrintable(key));
    return fallback;
}

void AppState::setExcludedApplications(const QStringList& value) {
    const QStringList entries = CaptureExclusions::normalized(value);
    if (entries == m_captureExclusions.applications)
        return;
    m_captureExclusions.applications = entries;
    writeSetting(excludedApplicationsKey, CaptureExclusions::storedValue(entries));
    Q_EMIT captureExclusionsChanged();
}

void AppState::setExcludedTitlePatterns(const QStringList& value) {
    const QStringList entries = CaptureExclusions::normalized(value);
    if (entries == m_captureExclusions.titlePatterns)
        return;
    m_captureExclusions.titlePatterns = entries;
    writeSetting(excludedTitlePatternsKey, CaptureExclusions::storedValue(entries));
    Q_EMIT captureExclusionsChanged();
}

// MARK: - Nudge budget

void AppState::setNudgesPerHour(int value) {
    value = std::clamp(value, 1, maximumNudgesPerHour);
    if (value == m_nudgesPerHour)
        return;
    m_nudgesPerHour = value;
    if (!m_isBootstrapping)
        writeSetting(nudgesPerHourKey, value);
    Q_EMIT nudgeBudgetChanged();
}

void AppState::setNudgeGapMinutes(int value) {
    value = std::clamp(value, 0, maximumNudgeGapMinutes);
    if (value == m_nudgeGapMinutes)
        return;
    m_nudgeGapMinutes = value;
    if (!m_isBootstrapping)
        writeSetting(nudgeGapMinutesKey, value);
    Q_EMIT nudgeBudgetChanged();
}

std::optional<QDateTime> AppState::nextNudgeAllowedAt() const {
    const QDateTime now = m_clock->now();
    QList<QDateTime> lastHour; // oldest first
    for (const NudgeRecord& record : m_nudgeHistory)
        if (record.outcome == NudgeOutcome::Shown && record.timestamp.secsTo(now) < 3600)
            lastHour.append(record.timestamp);
    QDateTime next = now;
    if (m_snoozedUntil)
        next = std::max(next, *m_snoozedUntil);
    if (!lastHour.isEmpty())
        next = std::max(next, lastHour.last().addSecs(60 * m_nudgeGapMinutes));
    if (lastHour.size() >= m_nudgesPerHour)
        next = std::max(next, lastHour[lastHour.size() - m_nudgesPerHour].addSecs(3600));
    return next > now ? std::optional(next) : std::nullopt;
}

QString AppState::nudgeBudgetDetail() const {
    const std::optional<QDateTime> next = nextNudgeAllowedAt();
    if (!next)
        return {};
    const QString at = QLocale().toString(next->toLocalTime().time(), QLocale::ShortFormat);
    return m_snoozedUntil && *m_snoozedUntil == *next
               ? QStringLiteral("Nudges are snoozed; the next card can appear at %1.").arg(at)
               : QStringLiteral("Nudge budget reached; the next card can appear at %1.").arg(at);
}

void AppState::snoozeNudges() {
    m_snoozedUntil = m_clock->now().addSecs(qint64(snoozeMinutes * 60));
    dismissCurrentNudge(NudgeOutcome::NotNow);
}

// MARK: - Pause and resume

QString AppState::pauseResumeTimeText() const {
    if (!m_pauseResumeTime)
        return QStringLiteral("later");
    return QLocale().toString(m_pauseResumeTime->toLocalTime().time(), QLocale::ShortFormat);
}

void AppState::setPausedDiagnostics() {
    setNudgeDiagnostics(NudgePipelineState::Paused, QStringLiteral("Monitoring is paused until ") +
                                                        pauseResumeTimeText() + QStringLiteral("."));
}

void AppState::pauseFor(double minutes) {
    setIsPaused(true);
    double seconds = std::isnan(minutes) ? 0.0 : minutes * 60.0;
    seconds = std::clamp(seconds, -kMaxSleepSeconds, kMaxSleepSeconds);
    setPauseResumeTime(m_clock->now().addMSecs(qint64(seconds * 1000.0)));
    setPausedDiagnostics();
    scheduleAutoResume();
}

void AppState::scheduleAutoResume() {
    if (m_pauseTask)
        m_pauseTask->cancel();
    if (!m_pauseResumeTime)
        return;
    const double seconds = Clock::secondsBetween(m_clock->now(), *m_pauseResumeTime);
    if (seconds > 0) {
        m_pauseTask.emplace();
        autoResume(std::min(seconds, kMaxSleepSeconds), m_pauseTask->token());
    } else {
        resumeMonitoring();
    }
}

QCoro::Task<> AppState::autoResume(double seconds, CancellationToken token) {
    QPointer<AppState> self(this);
    co_await m_clock->sleep(seconds, token);
    if (token.isCancelled() || !self)
        co_return;
    self->resumeMonitoring();
}

void AppState::resumeMonitoring() {
    if (m_pauseTask)
        m_pauseTask->cancel();
    setIsPaused(false);
    setPauseResumeTime(std::nullopt);
    if (m_isMonitoring)
        setNudgeDiagnostics(NudgePipelineState::WaitingForActivity, kResumeWaitingDetail);
    else
        setNudgeDiagnostics(NudgePipelineDiagnostics::monitoringOff(m_clock->now()));
}

void AppState::syncPauseIfNeeded() {
    if (m_pauseResumeTime && m_isPaused && m_clock->now() >= *m_pauseResumeTime)
        resumeMonitoring();
}

// MARK: - Nudge

void AppState::presentOrUpdate() {
    if (m_nudgePresenter)
        m_nudgePresenter->presentOrUpdate();
}

void AppState::dismissPresenter() {
    if (m_nudgePresenter)
        m_nudgePresenter->dismiss();
}

void AppState::appendHistory(const Opportunity& opportunity, NudgeOutcome outcome) {
    m_nudgeHistory.append(NudgeRecord{QUuid::createUuid(), opportunity.patternId, opportunity.category,
                                      outcome, m_clock->now()});
    Q_EMIT nudgeHistoryChanged();
}

void AppState::presentOpportunity(const Opportunity& opportunity) {
    if (m_currentNudge)
        return;
    if (m_suppressedPatterns.contains(opportunity.patternId)) {
        // The analysis has ended: the status must say so rather than keep reporting it as running.
        setNudgeDiagnostics(NudgePipelineState::NoOpportunity, kSuppressedDetail);
        return;
    }
    const QDateTime now = m_clock->now();
    NudgeState nudge;
    nudge.id = QUuid::createUuid();
    nudge.opportunity = opportunity;
    nudge.createdAt = now;
    setCurrentNudge(nudge);
    setLastNudgeTime(now);
    appendHistory(opportunity, NudgeOutcome::Shown);
    setNudgeDiagnostics(NudgePipelineState::NudgeVisible, kNudgeVisibleDetail);
    presentOrUpdate();
}

void AppState::beginRecommendation(const QString& answer) {
    if (!m_currentNudge)
        return;
    NudgeState nudge = *m_currentNudge;
    nudge.phase = NudgePhase::LoadingRecommendation;
    nudge.userAnswer = answer;
    nudge.errorMessage.reset();
    setCurrentNudge(nudge);
    presentOrUpdate();
}

void AppState::applyRecommendation(const Recommendation& recommendation) {
    if (!m_currentNudge)
        return;
    NudgeState nudge = *m_currentNudge;
    nudge.phase = NudgePhase::Recommendation;
    nudge.recommendation = recommendation;
    nudge.errorMessage.reset();
    setCurrentNudge(nudge);
    appendHistory(nudge.opportunity, NudgeOutcome::RecommendationShown);
    presentOrUpdate();
}

void AppState::failRecommendation(const QString& message) {
    if (!m_currentNudge)
        return;
    NudgeState nudge = *m_currentNudge;
    nudge.phase = NudgePhase::Question;
    nudge.errorMessage = message;
    setCurrentNudge(nudge);
    presentOrUpdate();
}

void AppState::setPromptCopied(bool copied) {
    if (!m_currentNudge)
        return;
    NudgeState nudge = *m_currentNudge;
    nudge.didCopyPrompt = copied;
    setCurrentNudge(nudge);
}

void AppState::dismissCurrentNudge(NudgeOutcome reason) {
    if (!m_currentNudge)
        return;
    const Opportunity opportunity = m_currentNudge->opportunity;
    if (reason == NudgeOutcome::NotNow || reason == NudgeOutcome::NotUseful)
        m_suppressedPatterns.insert(opportunity.patternId);
    appendHistory(opportunity, reason);
    setCurrentNudge(std::nullopt);
    if (m_isPaused)
        setPausedDiagnostics();
    else if (m_isMonitoring)
        setNudgeDiagnostics(NudgePipelineState::WaitingForActivity, kDismissedWaitingDetail);
    else
        setNudgeDiagnostics(NudgePipelineDiagnostics::monitoringOff(m_clock->now()));
    dismissPresenter();
}

void AppState::dismissCurrentNudge(const QString& reasonRawValue) {
    if (const auto reason = fromRawValue<NudgeOutcome>(reasonRawValue))
        dismissCurrentNudge(*reason);
}

} // namespace norvane
