// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Cancellation.h"
#include "Enums.h"
#include "Expected.h"
#include "GeminiTypes.h"
#include "ModelConnection.h"
#include "Records.h"

#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QList>

#include <optional>

namespace norvane {

// The service interfaces between the subsystems. Every platform-bound piece sits behind one of these,
// so the loop and the analysis run against fakes in tests.

class FrontmostWindowProviding {
public:
    virtual ~FrontmostWindowProviding() = default;
    // Nothing when there is no frontmost window that can be described.
    virtual std::optional<FrontmostWindowInfo> frontmostWindowInfo() = 0;
};

class WindowImageCapturing {
public:
    virtual ~WindowImageCapturing() = default;
    // The window's own pixels; nothing on any failure.
    virtual QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) = 0;
};

class ScreenRecordingPermissionChecking {
public:
    virtual ~ScreenRecordingPermissionChecking() = default;
    // True when screen capture is currently possible. Never prompts.
    virtual bool hasScreenRecordingPermission() = 0;
    // Whether the desktop asks the user what to share (a screen-sharing dialog) and can be asked again.
    virtual bool canAskForConsent() { return false; }
    // Shows the desktop's dialog; true when the user chose something to share.
    virtual QCoro::Task<bool> askForConsent() { co_return false; }
};

class ScreenCapturing {
public:
    virtual ~ScreenCapturing() = default;
    virtual std::optional<FrontmostWindowInfo> frontmostWindowInfo() = 0;
    // Nothing means no frame: no window, no permission, a failed capture, or an unchanged frame
    // that was dropped (force bypasses that rule).
    virtual QCoro::Task<std::optional<Screenshot>> captureFrontmostWindow(bool force) = 0;
    // Forget the last frame so the next capture is never dropped as unchanged.
    virtual void resetDeduplicationState() = 0;
};

class InputActivityMonitoring {
public:
    virtual ~InputActivityMonitoring() = default;
    virtual void start() = 0; // does nothing while already watching
    virtual void stop() = 0;  // also forgets the last meaningful input
    virtual std::optional<QDateTime> lastMeaningfulInputAt() const = 0;
    virtual std::optional<MeaningfulInputKind> lastMeaningfulInputKind() const = 0;
};

class OpportunityAnalyzing {
public:
    virtual ~OpportunityAnalyzing() = default;
    // Nothing when there is no opportunity worth a nudge or the analysis failed (the analyzer records
    // the reason in the diagnostics). A cancelled analysis records nothing and returns nothing.
    virtual QCoro::Task<std::optional<Opportunity>> analyze(QList<Screenshot> screenshots,
                                                            CancellationToken cancel = {}) = 0;
};

class ScreenshotPersisting {
public:
    virtual ~ScreenshotPersisting() = default;
    // None of these reports failure to the caller; the store logs it.
    virtual QCoro::Task<> persistCapture(Screenshot screenshot) = 0;
    // Makes the on-disk buffer an exact image of `buffer` (oldest first); an empty list empties it.
    virtual QCoro::Task<> syncBuffer(QList<Screenshot> buffer) = 0;
    virtual QCoro::Task<> persistRecommendation(Recommendation recommendation, Opportunity opportunity,
                                                QString userAnswer) = 0;
};

class GeminiGenerating {
public:
    virtual ~GeminiGenerating() = default;
    // The model's reply text, trimmed and never empty, or why there is none. `connection` names the
    // service, the model and the key.
    virtual QCoro::Task<Expected<QString, GeminiClientError>>
    generate(QList<GeminiRequestPart> parts, ModelConnection connection, double temperature,
             std::optional<QString> responseMimeType, CancellationToken cancel = {}) = 0;
};

class NudgePresenting {
public:
    virtual ~NudgePresenting() = default;
    virtual void presentOrUpdate() = 0; // show the current nudge, or refresh it when shown
    virtual void dismiss() = 0;
};

class PasteboardProviding {
public:
    virtual ~PasteboardProviding() = default;
    virtual void copyString(const QString& text) = 0; // replaces the clipboard with plain text
};

// What starting monitoring needs of the settings window and the permission service.
class SettingsWindowPresenting {
public:
    virtual ~SettingsWindowPresenting() = default;
    virtual void show(SettingsPresentationMode mode) = 0;
};

// One thing the session must offer for Norvane to work fully: whether it does, and what to do if not.
struct SessionCapability {
    QString name;
    bool available = false;
    QString explanation; // what it is for, or with `available` false, the remedy
    bool operator==(const SessionCapability&) const = default;
};

class PermissionProviding {
public:
    virtual ~PermissionProviding() = default;
    virtual bool hasScreenRecordingPermission() = 0;
    // May ask the system; returns whether capture is allowed afterwards.
    virtual bool requestScreenRecordingPermission() = 0;
    virtual void openScreenRecordingSettings() = 0;
    virtual bool hasAccessibilityPermission() = 0;
    virtual bool ensureAccessibilityAccessIfNeeded() = 0;
    // Where the desktop asks the user what to share: whether it can be asked, and asking it (the
    // answer comes when the user closes its dialog).
    virtual bool canAskForCaptureConsent() { return false; }
    virtual QCoro::Task<bool> askForCaptureConsent() { co_return false; }
    // What the desktop session offers capture and activity tracking, one line each, for the settings
    // window; empty where nothing needs saying.
    virtual QList<SessionCapability> sessionCapabilities() { return {}; }
};

} // namespace norvane

namespace norvane {

// What the nudge coordinator needs of the recommendation engine.
class RecommendationGenerating {
public:
    virtual ~RecommendationGenerating() = default;
    // Reads the API key from the application state itself.
    virtual QCoro::Task<Expected<Recommendation, GeminiClientError>>
    generateRecommendation(Opportunity opportunity, QString userAnswer,
                           std::optional<Screenshot> currentScreenshot) = 0;
};

// What the tray menu and the settings window need of the monitoring service.
class MonitoringControlling {
public:
    virtual ~MonitoringControlling() = default;
    virtual void startFromUserRequest() = 0;
    virtual void stop() = 0;
    // Drops capture times older than one hour as of `now` (the loop's own pruning) and counts the rest.
    virtual int recentCaptureCount(const QDateTime& now) = 0;
    // The screenshot buffer, oldest first.
    virtual QList<Screenshot> screenshotBuffer() const = 0;
    // Empties the buffer in memory and on disk, unless monitoring is on and still needs it.
    virtual void discardStoppedBuffer() = 0;
};

} // namespace norvane
