// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "CaptureRetention.h"
#include "ShellCommands.h"
#include "model/AppState.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace norvane {

// The decisions behind one settings view: status titles and tints, enabling rules, the interval and
// confidence bindings, the connection test, the permission cards and the rolling capture count. A new
// controller comes with every view, so its view state (the last test result) starts empty each time.
class SettingsController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the settings window")

    Q_PROPERTY(QString mode READ modeName CONSTANT)
    Q_PROPERTY(bool isSetup READ isSetup CONSTANT)
    Q_PROPERTY(norvane::AppState* appState READ appState CONSTANT)
    Q_PROPERTY(norvane::ShellCommands* commands READ commands CONSTANT)
    Q_PROPERTY(norvane::CaptureRetention* captures READ captures CONSTANT)

    Q_PROPERTY(QColor brandTint READ brandTint CONSTANT)
    Q_PROPERTY(QColor coolTint READ coolTint CONSTANT)
    Q_PROPERTY(QColor successTint READ successTint CONSTANT)
    Q_PROPERTY(QColor secondaryTint READ secondaryTint CONSTANT)

    Q_PROPERTY(QString monitoringStatusTitle READ monitoringStatusTitle NOTIFY monitoringStatusChanged)
    Q_PROPERTY(QColor monitoringStatusTint READ monitoringStatusTint NOTIFY monitoringStatusChanged)
    Q_PROPERTY(QString confidenceText READ confidenceText NOTIFY confidenceChanged)
    Q_PROPERTY(double confidenceSliderValue READ confidenceSliderValue NOTIFY confidenceChanged)

    Q_PROPERTY(int providerPreset READ providerPreset NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(bool usesGemini READ usesGemini NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(QStringList geminiModelChoices READ geminiModelChoices CONSTANT)
    Q_PROPERTY(QString geminiModelText READ geminiModelText NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(QString destinationText READ destinationText NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(QString apiKeyProblem READ apiKeyProblem NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(bool canTestConnection READ canTestConnection NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(bool footerButtonEnabled READ footerButtonEnabled NOTIFY apiKeyStatusChanged)
    Q_PROPERTY(bool isTestingAPI READ isTestingAPI NOTIFY apiTestChanged)
    Q_PROPERTY(QString apiTestMessage READ apiTestMessage NOTIFY apiTestChanged)
    Q_PROPERTY(bool hasApiTestMessage READ hasApiTestMessage NOTIFY apiTestChanged)
    Q_PROPERTY(bool apiTestSucceeded READ apiTestSucceeded NOTIFY apiTestChanged)

    Q_PROPERTY(
        int screenshotIntervalPosition READ screenshotIntervalPosition NOTIFY screenshotIntervalChanged)
    Q_PROPERTY(QString screenshotIntervalLabel READ screenshotIntervalLabel NOTIFY screenshotIntervalChanged)
    Q_PROPERTY(int screenshotIntervalMaxIndex READ screenshotIntervalMaxIndex CONSTANT)

    Q_PROPERTY(int captureCount READ captureCount NOTIFY captureCountChanged)

    Q_PROPERTY(QString diagnosticsTitle READ diagnosticsTitle NOTIFY diagnosticsChanged)
    Q_PROPERTY(QColor diagnosticsTint READ diagnosticsTint NOTIFY diagnosticsChanged)
    Q_PROPERTY(QString diagnosticsTimeText READ diagnosticsTimeText NOTIFY diagnosticsChanged)
    Q_PROPERTY(QString diagnosticsDetail READ diagnosticsDetail NOTIFY diagnosticsChanged)

    Q_PROPERTY(bool screenRecordingGranted READ screenRecordingGranted NOTIFY permissionsChanged)
    // What the session offers: a list of {name, available, explanation}.
    Q_PROPERTY(QVariantList sessionCapabilities READ sessionCapabilities NOTIFY permissionsChanged)
    Q_PROPERTY(bool accessibilityGranted READ accessibilityGranted NOTIFY permissionsChanged)
    Q_PROPERTY(QString permissionRefreshNonce READ permissionRefreshNonce NOTIFY permissionsChanged)
    // The desktop asks the user what to share (a screen-sharing dialog), and whether its dialog is up.
    Q_PROPERTY(bool canAskForCaptureConsent READ canAskForCaptureConsent NOTIFY permissionsChanged)
    Q_PROPERTY(bool askingForCaptureConsent READ askingForCaptureConsent NOTIFY permissionsChanged)

public:
    // The interval choices, in slider order.
    static constexpr double screenshotIntervals[] = {15.0, 30.0, 60.0};
    static constexpr double confidenceMinimum = 0.5;
    static constexpr double confidenceMaximum = 0.9;
    static constexpr double confidenceStep = 0.05;
    static constexpr double captureCountRefreshSeconds = 5.0;
    static inline const QString connectionTestPrompt = QStringLiteral("Reply with exactly OK.");

    static QColor brandTint() { return QColor::fromRgbF(0.87f, 0.49f, 0.20f); }
    static QColor coolTint() { return QColor::fromRgbF(0.22f, 0.54f, 0.72f); }
    static QColor successTint() { return QColor::fromRgbF(0.20f, 0.66f, 0.33f); }
    static QColor secondaryTint() { return QColor::fromRgbF(0.54f, 0.55f, 0.58f); }

    // `monitoring`, `gemini`, `permissions` and `commands` may be null: the view then shows nothing for them.
    SettingsController(SettingsPresentationMode mode, AppState* appState, MonitoringControlling* monitoring,
                       GeminiGenerating* gemini, PermissionProviding* permissions, ShellCommands* commands,
                       Clock* clock, QObject* parent = nullptr);
    ~SettingsController() override;

    SettingsPresentationMode mode() const { return m_mode; }
    QString modeName() const { return rawValue(m_mode); }
    bool isSetup() const { return m_mode == SettingsPresentationMode::Setup; }
    AppState* appState() const { return m_appState; }
    ShellCommands* commands() const { return m_commands; }
    CaptureRetention* captures() const { return m_captures; }
    // Before the view is loaded; null hides the captures section.
    void setCaptures(CaptureRetention* captures) { m_captures = captures; }

    QString monitoringStatusTitle() const;
    QColor monitoringStatusTint() const;
    QString confidenceText() const;
    double confidenceSliderValue() const;

    // Why the text in a key field was not saved, or why the chosen server cannot be used; empty when
    // all is well.
    QString apiKeyProblem() const;

    // The presets of the model menu, in its order.
    enum Preset { GeminiPreset, OllamaPreset, CustomPreset };
    int providerPreset() const;
    // Switches the provider; Ollama also fills in its local address, and a model when there is none.
    Q_INVOKABLE void choosePreset(int preset);
    bool usesGemini() const { return providerPreset() == GeminiPreset; }
    static QStringList geminiModelChoices();
    // The Gemini model in use; its default when none is chosen.
    QString geminiModelText() const;
    // Stores the name; the default's own name is stored as none, so a later default applies.
    Q_INVOKABLE void setGeminiModel(const QString& name);
    // The OpenAI-compatible server's key, under the same length rule as Gemini's.
    Q_INVOKABLE void setOpenAIApiKey(const QString& key);
    // Where screenshots go with the chosen service, in one sentence.
    QString destinationText() const;
    static constexpr qsizetype maximumApiKeyLength = 512;
    bool canTestConnection() const { return isModelReady() && !m_isTestingAPI; }
    bool footerButtonEnabled() const { return !isSetup() || isModelReady(); }
    bool isTestingAPI() const { return m_isTestingAPI; }
    QString apiTestMessage() const { return m_apiTestMessage.value_or(QString()); }
    bool hasApiTestMessage() const { return m_apiTestMessage.has_value(); }
    bool apiTestSucceeded() const { return m_apiTestSucceeded; }

    int screenshotIntervalPosition() const;
    QString screenshotIntervalLabel() const;
    int screenshotIntervalMaxIndex() const { return 2; }

    int captureCount() const { return m_captureCount; }

    QString diagnosticsTitle() const;
    QColor diagnosticsTint() const;
    QString diagnosticsTimeText() const;
    QString diagnosticsDetail() const;

    bool screenRecordingGranted() const { return m_screenRecordingGranted; }
    QVariantList sessionCapabilities() const { return m_sessionCapabilities; }
    bool accessibilityGranted() const { return m_accessibilityGranted; }
    QString permissionRefreshNonce() const { return m_permissionRefreshNonce; }
    bool canAskForCaptureConsent() const { return m_canAskForCaptureConsent; }
    bool askingForCaptureConsent() const { return m_askingForCaptureConsent; }

    static QString titleForState(NudgePipelineState state);
    static QColor tintForState(NudgePipelineState state);
    // Hour, minute and second in the user's locale (for example 11:45:07 PM).
    static QString timeWithSeconds(const QDateTime& when, const QLocale& locale);

    // Slider position → stored interval: rounded half away from zero, clamped to the three choices,
    // and stored only when it differs from the value held.
    Q_INVOKABLE void setScreenshotIntervalPosition(double position);
    // Slider value → stored threshold, snapped to the 0.05 grid inside 0.5 … 0.9.
    Q_INVOKABLE void setConfidenceFromSlider(double value);
    Q_INVOKABLE void setApiKey(const QString& key);
    Q_INVOKABLE void testAPIKey();
    Q_INVOKABLE void startCaptureCountUpdates();
    Q_INVOKABLE void refreshCaptureCount();
    Q_INVOKABLE void openScreenRecordingSettings();
    Q_INVOKABLE void grantAccessibility();
    Q_INVOKABLE void refreshPermissions();
    // Shows the desktop's screen-sharing dialog again; the cards are read again when it closes.
    Q_INVOKABLE void askForCaptureConsent();
    Q_INVOKABLE void close();

Q_SIGNALS:
    void monitoringStatusChanged();
    void confidenceChanged();
    void apiKeyStatusChanged();
    void apiTestChanged();
    void screenshotIntervalChanged();
    void captureCountChanged();
    void diagnosticsChanged();
    void permissionsChanged();
    void closeRequested();

private:
    QCoro::Task<> runConnectionTest(ModelConnection connection);
    bool acceptKeyLength(const QString& key);
    bool isModelReady() const { return m_appState && m_appState->isModelReady(); }
    void scheduleCaptureCount();

    SettingsPresentationMode m_mode;
    QPointer<AppState> m_appState;
    MonitoringControlling* m_monitoring;
    GeminiGenerating* m_gemini;
    PermissionProviding* m_permissions;
    QPointer<ShellCommands> m_commands;
    QPointer<CaptureRetention> m_captures;
    Clock* m_clock;

    std::optional<QString> m_apiTestMessage;
    bool m_apiTestSucceeded = false;
    bool m_isTestingAPI = false;
    bool m_apiKeyTooLong = false;
    QVariantList m_sessionCapabilities;
    std::optional<CancellationSource> m_connectionTest;

    int m_captureCount = 0;
    std::optional<quint64> m_captureTimer;

    bool m_screenRecordingGranted = false;
    bool m_accessibilityGranted = false;
    QString m_permissionRefreshNonce;
    bool m_canAskForCaptureConsent = false;
    bool m_askingForCaptureConsent = false;
};

} // namespace norvane
