// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SettingsController.h"
#include "Translations.h"

#include "model/Records.h"

#include <QLocale>
#include <QPointer>
#include <QUuid>

#include <cmath>

namespace norvane {

SettingsController::SettingsController(SettingsPresentationMode mode, AppState* appState,
                                       MonitoringControlling* monitoring, GeminiGenerating* gemini,
                                       PermissionProviding* permissions, ShellCommands* commands,
                                       Clock* clock, QObject* parent)
    : QObject(parent), m_mode(mode), m_appState(appState), m_monitoring(monitoring), m_gemini(gemini),
      m_permissions(permissions), m_commands(commands), m_clock(clock ? clock : Clock::system()) {
    if (m_appState) {
        connect(m_appState, &AppState::isMonitoringChanged, this,
                &SettingsController::monitoringStatusChanged);
        connect(m_appState, &AppState::isPausedChanged, this, &SettingsController::monitoringStatusChanged);
        connect(m_appState, &AppState::confidenceThresholdChanged, this,
                &SettingsController::confidenceChanged);
        connect(m_appState, &AppState::apiKeyChanged, this, &SettingsController::apiKeyStatusChanged);
        connect(m_appState, &AppState::modelSettingsChanged, this, &SettingsController::apiKeyStatusChanged);
        connect(m_appState, &AppState::screenshotIntervalChanged, this,
                &SettingsController::screenshotIntervalChanged);
        connect(m_appState, &AppState::nudgeDiagnosticsChanged, this,
                &SettingsController::diagnosticsChanged);
    }
    refreshPermissions();
}

SettingsController::~SettingsController() {
    if (m_captureTimer)
        m_clock->cancelTimer(*m_captureTimer);
    // A test still running belongs to this view; its result is dropped.
    if (m_connectionTest)
        m_connectionTest->cancel();
}

// MARK: - Header

QString SettingsController::monitoringStatusTitle() const {
    if (!m_appState)
        return tr("Monitoring Off");
    if (m_appState->isPaused())
        return tr("Paused");
    if (m_appState->isMonitoring())
        return tr("Monitoring On");
    return tr("Monitoring Off");
}

QColor SettingsController::monitoringStatusTint() const {
    if (m_appState && m_appState->isPaused())
        return brandTint();
    if (m_appState && m_appState->isMonitoring())
        return successTint();
    return secondaryTint();
}

QString SettingsController::confidenceText() const {
    return QString::asprintf("%.2f", m_appState ? m_appState->confidenceThreshold() : 0.0);
}

double SettingsController::confidenceSliderValue() const {
    const double value = m_appState ? m_appState->confidenceThreshold() : confidenceMinimum;
    if (!std::isfinite(value))
        return confidenceMinimum;
    return std::clamp(value, confidenceMinimum, confidenceMaximum);
}

void SettingsController::setConfidenceFromSlider(double value) {
    if (!m_appState || !std::isfinite(value))
        return;
    const double steps = std::round(
        (std::clamp(value, confidenceMinimum, confidenceMaximum) - confidenceMinimum) / confidenceStep);
    // Two decimals, so 0.75 is stored as 0.75 and not as 0.7500000000000001.
    const double snapped = std::round((confidenceMinimum + steps * confidenceStep) * 100.0) / 100.0;
    if (snapped == m_appState->confidenceThreshold())
        return;
    m_appState->setConfidenceThreshold(snapped);
}

// MARK: - Gemini

bool SettingsController::acceptKeyLength(const QString& key) {
    // Real keys are a few dozen characters; a text this long is something else pasted by mistake, and
    // it would travel in every request.
    const bool tooLong = key.size() > maximumApiKeyLength;
    if (tooLong != m_apiKeyTooLong) {
        m_apiKeyTooLong = tooLong;
        Q_EMIT apiKeyStatusChanged();
    }
    return m_appState && !tooLong;
}

void SettingsController::setApiKey(const QString& key) {
    if (acceptKeyLength(key))
        m_appState->setApiKey(key);
}

void SettingsController::setOpenAIApiKey(const QString& key) {
    if (acceptKeyLength(key))
        m_appState->setOpenAIApiKey(key);
}

QString SettingsController::apiKeyProblem() const {
    if (m_apiKeyTooLong)
        return tr("This is longer than an API key can be (512 characters), so it was not saved. Paste the "
                  "key alone.");
    return m_appState ? m_appState->modelConnection().problem() : QString();
}

int SettingsController::providerPreset() const {
    if (!m_appState || m_appState->modelConnection().provider == ModelProvider::Gemini)
        return GeminiPreset;
    return m_appState->openAIBaseURL().trimmed() == ModelConnection::ollamaBaseURL ? OllamaPreset
                                                                                   : CustomPreset;
}

void SettingsController::choosePreset(int preset) {
    if (!m_appState)
        return;
    if (preset == GeminiPreset) {
        m_appState->setModelProvider(ModelConnection::providerId(ModelProvider::Gemini));
        return;
    }
    m_appState->setModelProvider(ModelConnection::providerId(ModelProvider::OpenAICompatible));
    if (preset == OllamaPreset) {
        m_appState->setOpenAIBaseURL(ModelConnection::ollamaBaseURL);
        if (m_appState->openAIModel().trimmed().isEmpty())
            m_appState->setOpenAIModel(QStringLiteral("llava"));
    } else if (m_appState->openAIBaseURL().trimmed() == ModelConnection::ollamaBaseURL) {
        // A custom server starts from an empty address rather than Ollama's.
        m_appState->setOpenAIBaseURL(QStringLiteral("https://"));
    }
}

QStringList SettingsController::geminiModelChoices() {
    return {ModelConnection::defaultGeminiModel, QStringLiteral("gemini-2.5-flash"),
            QStringLiteral("gemini-2.5-pro")};
}

QString SettingsController::geminiModelText() const {
    return m_appState ? ModelConnection::gemini({}, m_appState->geminiModel()).effectiveModel() : QString();
}

void SettingsController::setGeminiModel(const QString& name) {
    if (m_appState)
        m_appState->setGeminiModel(name.trimmed() == ModelConnection::defaultGeminiModel ? QString() : name);
}

QString SettingsController::destinationText() const {
    const ModelConnection connection = m_appState ? m_appState->modelConnection() : ModelConnection();
    if (connection.provider == ModelProvider::Gemini)
        return tr("Stored locally on this computer. Norvane does not send screenshots anywhere except the "
                  "Gemini request you explicitly enabled by turning monitoring on.");
    if (connection.isOnThisComputer())
        return tr("Screenshots go only to the model server on this computer; nothing leaves it. The key, "
                  "if the server needs one, is stored locally.");
    if (!connection.problem().isEmpty())
        return tr("Screenshots will go to the server at this address once it is complete.");
    return tr("Screenshots go to %1 while monitoring is on: choose a server you trust with your screen. "
              "The key is stored locally on this computer.")
        .arg(connection.baseURL.host());
}

void SettingsController::testAPIKey() {
    if (!m_appState || m_isTestingAPI)
        return;
    const ModelConnection connection = m_appState->modelConnection();
    if (connection.needsApiKey() && connection.apiKey.isEmpty())
        return;
    m_isTestingAPI = true;
    m_apiTestMessage.reset();
    Q_EMIT apiTestChanged();
    Q_EMIT apiKeyStatusChanged();
    m_connectionTest.emplace();
    runConnectionTest(connection);
}

QCoro::Task<> SettingsController::runConnectionTest(ModelConnection connection) {
    QPointer<SettingsController> self(this);
    const CancellationToken token = m_connectionTest->token();
    std::optional<Expected<QString, GeminiClientError>> result;
    if (m_gemini) {
        QList<GeminiRequestPart> parts;
        parts.append(GeminiRequestPart::fromText(connectionTestPrompt));
        result = co_await m_gemini->generate(parts, connection, 0.0, std::nullopt, token);
    }
    if (!self || token.isCancelled())
        co_return;
    if (result && result->hasValue()) {
        m_apiTestSucceeded = true;
        m_apiTestMessage = tr("Success: %1").arg(trimmed(result->value()));
    } else {
        m_apiTestSucceeded = false;
        m_apiTestMessage = connection.attributed(result ? result->error().description()
                                                        : GeminiClientError::invalidURL().description());
    }
    m_isTestingAPI = false;
    Q_EMIT apiTestChanged();
    Q_EMIT apiKeyStatusChanged();
}

// MARK: - Monitoring controls

int SettingsController::screenshotIntervalPosition() const {
    if (!m_appState)
        return 1;
    const double stored = m_appState->screenshotInterval();
    for (int i = 0; i < 3; ++i) {
        if (screenshotIntervals[i] == stored)
            return i;
    }
    return 1;
}

QString SettingsController::screenshotIntervalLabel() const {
    const double stored = m_appState ? m_appState->screenshotInterval() : 30.0;
    // Whole seconds, cut toward zero; a value too large for an integer still prints instead of overflowing.
    const double whole = std::isfinite(stored) ? std::trunc(stored) : 0.0;
    return tr("%1 seconds").arg(QString::number(whole == 0.0 ? 0.0 : whole, 'f', 0));
}

void SettingsController::setScreenshotIntervalPosition(double position) {
    if (!m_appState || std::isnan(position))
        return;
    // std::round rounds halves away from zero.
    const int index = int(std::clamp(std::round(position), 0.0, double(screenshotIntervalMaxIndex())));
    const double interval = screenshotIntervals[index];
    if (interval == m_appState->screenshotInterval())
        return;
    m_appState->setScreenshotInterval(interval);
}

void SettingsController::startCaptureCountUpdates() {
    if (m_captureTimer)
        return;
    refreshCaptureCount();
    scheduleCaptureCount();
}

void SettingsController::scheduleCaptureCount() {
    QPointer<SettingsController> self(this);
    m_captureTimer = m_clock->startTimer(captureCountRefreshSeconds, [self] {
        if (!self)
            return;
        self->m_captureTimer.reset();
        self->refreshCaptureCount();
        self->scheduleCaptureCount();
    });
}

void SettingsController::refreshCaptureCount() {
    // Asking the loop also prunes its list: the count is always of the last hour as of now.
    const int count = m_monitoring ? m_monitoring->recentCaptureCount(m_clock->now()) : 0;
    if (count == m_captureCount)
        return;
    m_captureCount = count;
    Q_EMIT captureCountChanged();
}

// MARK: - Diagnostics

QString SettingsController::titleForState(NudgePipelineState state) {
    switch (state) {
    case NudgePipelineState::MonitoringOff:
        return tr("Monitoring is off");
    case NudgePipelineState::Paused:
        return tr("Monitoring is paused");
    case NudgePipelineState::WaitingForActivity:
        return tr("Waiting for activity");
    case NudgePipelineState::CollectingContext:
        return tr("Collecting context");
    case NudgePipelineState::Analyzing:
        return tr("Analyzing recent activity");
    case NudgePipelineState::NoOpportunity:
        return tr("No opportunity found");
    case NudgePipelineState::NudgeVisible:
        return tr("Nudge is ready");
    case NudgePipelineState::Failed:
        return tr("Analysis failed");
    }
    return {};
}

QColor SettingsController::tintForState(NudgePipelineState state) {
    switch (state) {
    case NudgePipelineState::Paused:
    case NudgePipelineState::CollectingContext:
    case NudgePipelineState::Analyzing:
        return coolTint();
    case NudgePipelineState::NudgeVisible:
        return successTint();
    case NudgePipelineState::Failed:
        return brandTint();
    case NudgePipelineState::MonitoringOff:
    case NudgePipelineState::WaitingForActivity:
    case NudgePipelineState::NoOpportunity:
        break;
    }
    return secondaryTint();
}

QString SettingsController::timeWithSeconds(const QDateTime& when, const QLocale& locale) {
    if (!when.isValid())
        return {};
    // The locale's short time with seconds added after the minutes, so the order, separators and
    // AM/PM marker stay the locale's own.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        const qsizetype minutes = format.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            format.insert(minutes + 2, QStringLiteral(":ss"));
        else
            format = locale.timeFormat(QLocale::LongFormat);
    }
    return locale.toString(when.toLocalTime().time(), format);
}

QString SettingsController::diagnosticsTitle() const {
    return m_appState ? titleForState(m_appState->nudgeDiagnostics().state) : QString();
}

QColor SettingsController::diagnosticsTint() const {
    return m_appState ? tintForState(m_appState->nudgeDiagnostics().state) : secondaryTint();
}

QString SettingsController::diagnosticsTimeText() const {
    return m_appState ? timeWithSeconds(m_appState->nudgeDiagnostics().updatedAt, QLocale()) : QString();
}

QString SettingsController::diagnosticsDetail() const {
    return m_appState ? translatedDiagnosticsDetail(m_appState->nudgeDiagnostics().detail) : QString();
}

// MARK: - Permissions

void SettingsController::refreshPermissions() {
    m_screenRecordingGranted = m_permissions && m_permissions->hasScreenRecordingPermission();
    m_accessibilityGranted = m_permissions && m_permissions->hasAccessibilityPermission();
    m_canAskForCaptureConsent = m_permissions && m_permissions->canAskForCaptureConsent();
    m_sessionCapabilities.clear();
    if (m_permissions) {
        for (const SessionCapability& capability : m_permissions->sessionCapabilities()) {
            m_sessionCapabilities.append(
                QVariantMap{{QStringLiteral("name"), capability.name},
                            {QStringLiteral("available"), capability.available},
                            {QStringLiteral("explanation"), capability.explanation}});
        }
    }
    m_permissionRefreshNonce = QUuid::createUuid().toString(QUuid::WithoutBraces);
    Q_EMIT permissionsChanged();
}

void SettingsController::openScreenRecordingSettings() {
    if (m_permissions && !m_permissions->hasScreenRecordingPermission()) {
        if (!m_permissions->requestScreenRecordingPermission())
            m_permissions->openScreenRecordingSettings();
    }
    refreshPermissions();
}

void SettingsController::askForCaptureConsent() {
    if (!m_permissions || m_askingForCaptureConsent || !m_permissions->canAskForCaptureConsent())
        return;
    m_askingForCaptureConsent = true;
    Q_EMIT permissionsChanged();
    [](QPointer<SettingsController> self, PermissionProviding* permissions) -> QCoro::Task<> {
        co_await permissions->askForCaptureConsent();
        if (!self)
            co_return;
        self->m_askingForCaptureConsent = false;
        self->refreshPermissions();
    }(this, m_permissions);
}

void SettingsController::grantAccessibility() {
    if (m_permissions)
        m_permissions->ensureAccessibilityAccessIfNeeded();
    refreshPermissions();
}

void SettingsController::close() {
    Q_EMIT closeRequested();
}

} // namespace norvane
