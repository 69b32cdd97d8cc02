// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Enums.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace norvane {

// The values that travel between the subsystems. Plain data: copying copies the contents.

// One captured frame of the frontmost window.
struct Screenshot {
    QUuid id;
    QByteArray image; // JPEG bytes
    QString appName;
    QString windowTitle;
    std::optional<quint32> windowID;
    QDateTime timestamp;
    std::optional<ScreenshotCaptureReason> captureReason; // stamped by the monitoring loop
    MonitoringActivityState activityState = MonitoringActivityState::Idle;
    std::optional<QUuid> activityBurstID;
    std::optional<QString> captureSignature;   // appName|window number|title
    std::optional<QString> captureFingerprint; // lowercase hex SHA-256 of image

    bool operator==(const Screenshot&) const = default;

    // The JPEG in standard Base64 without line breaks, made when a frame is sent: most frames never
    // are, and the text is a third larger than the picture.
    QString base64() const { return QString::fromLatin1(image.toBase64()); }
};

// What the window provider reports about the frontmost window.
struct FrontmostWindowInfo {
    quint32 windowID = 0;
    QString appName;
    QString windowTitle;
    bool isOwnApp = false;
    // Other names of the application: the window's class names (instance and class) and its process name.
    QStringList classNames;
    // The window covers its whole screen (presentations, video calls, games).
    bool isFullScreen = false;

    bool operator==(const FrontmostWindowInfo&) const = default;
};

// The model's verdict on an activity burst. Its identity is patternId.
struct Opportunity {
    Q_GADGET
    Q_PROPERTY(QString patternId MEMBER patternId CONSTANT)
    Q_PROPERTY(double confidence MEMBER confidence CONSTANT)
    Q_PROPERTY(QString observation MEMBER observation CONSTANT)
    Q_PROPERTY(QString question MEMBER question CONSTANT)
    Q_PROPERTY(QString categoryName READ categoryName CONSTANT)
public:
    QString patternId;
    double confidence = 0.0;
    QString observation;
    QString question;
    OpportunityCategory category = OpportunityCategory::ManualWork;

    QString categoryName() const { return rawValue(category); }
    bool operator==(const Opportunity&) const = default;
    bool sameIdentity(const Opportunity& other) const { return patternId == other.patternId; }
};

// One concrete suggestion.
struct Recommendation {
    Q_GADGET
    Q_PROPERTY(QString headline MEMBER headline CONSTANT)
    Q_PROPERTY(QString detail MEMBER detail CONSTANT)
    Q_PROPERTY(bool hasPrompt READ hasPrompt CONSTANT)
    Q_PROPERTY(QString promptText READ promptText CONSTANT)
    Q_PROPERTY(QString effort MEMBER effort CONSTANT)
    Q_PROPERTY(QString impact MEMBER impact CONSTANT)
public:
    QString headline;
    QString detail;
    std::optional<QString> prompt;
    QString effort;
    QString impact;

    bool hasPrompt() const { return prompt.has_value(); }
    QString promptText() const { return prompt.value_or(QString()); }
    bool operator==(const Recommendation&) const = default;
};

// The nudge currently on screen.
struct NudgeState {
    Q_GADGET
    Q_PROPERTY(QString id READ idText CONSTANT)
    Q_PROPERTY(norvane::Opportunity opportunity MEMBER opportunity CONSTANT)
    Q_PROPERTY(QString phaseName READ phaseName CONSTANT)
    Q_PROPERTY(QString userAnswer MEMBER userAnswer CONSTANT)
    Q_PROPERTY(bool hasRecommendation READ hasRecommendation CONSTANT)
    Q_PROPERTY(norvane::Recommendation recommendation READ recommendationValue CONSTANT)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage CONSTANT)
    Q_PROPERTY(QString errorMessage READ errorMessageText CONSTANT)
    Q_PROPERTY(bool didCopyPrompt MEMBER didCopyPrompt CONSTANT)
public:
    QUuid id;
    Opportunity opportunity;
    NudgePhase phase = NudgePhase::Question;
    QString userAnswer;
    std::optional<Recommendation> recommendation;
    std::optional<QString> errorMessage;
    bool didCopyPrompt = false;
    QDateTime createdAt;

    QString idText() const;
    QString phaseName() const { return rawValue(phase); }
    bool hasRecommendation() const { return recommendation.has_value(); }
    Recommendation recommendationValue() const { return recommendation.value_or(Recommendation{}); }
    bool hasErrorMessage() const { return errorMessage.has_value(); }
    QString errorMessageText() const { return errorMessage.value_or(QString()); }
    bool operator==(const NudgeState&) const = default;
};

// One entry of the nudge history.
struct NudgeRecord {
    QUuid id;
    QString patternId;
    OpportunityCategory category = OpportunityCategory::ManualWork;
    NudgeOutcome outcome = NudgeOutcome::Shown;
    QDateTime timestamp;

    bool operator==(const NudgeRecord&) const = default;
};

// The pipeline status line shown in the settings window.
struct NudgePipelineDiagnostics {
    Q_GADGET
    Q_PROPERTY(QString stateName READ stateName CONSTANT)
    Q_PROPERTY(QString detail MEMBER detail CONSTANT)
    Q_PROPERTY(QDateTime updatedAt MEMBER updatedAt CONSTANT)
public:
    NudgePipelineState state = NudgePipelineState::MonitoringOff;
    QString detail;
    QDateTime updatedAt;

    QString stateName() const { return rawValue(state); }
    bool operator==(const NudgePipelineDiagnostics&) const = default;

    // The status while monitoring is off, stamped with the moment it went off.
    static NudgePipelineDiagnostics monitoringOff(const QDateTime& at);
};

// Text helpers used wherever typed text is tested for presence.
std::optional<QString> nilIfBlank(const QString& text);
QString trimmed(const QString& text);
// Line breaks, tabs, escapes and the other characters that control rather than show.
bool isControlCharacter(QChar c);
// The text without control characters, as a window title is shown.
QString withoutControlCharacters(const QString& text);
// Canonical UUID text: upper case, hyphenated, without braces.
QString uuidText(const QUuid& id);
// The first 8 characters of the canonical UUID text; log lines identify screenshots by it.
QString shortId(const QUuid& id);

} // namespace norvane

Q_DECLARE_METATYPE(norvane::Opportunity)
Q_DECLARE_METATYPE(norvane::Recommendation)
Q_DECLARE_METATYPE(norvane::NudgeState)
Q_DECLARE_METATYPE(norvane::NudgePipelineDiagnostics)
