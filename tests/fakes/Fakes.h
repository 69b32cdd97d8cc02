// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

// Test doubles for every service interface. Each records its calls and lets the test set its answers.
// Coroutines return copies of their members: QCoro 0.8 moves from a co_returned non-const lvalue.

#include "ManualClock.h"
#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QCryptographicHash>
#include <QStringList>

#include <deque>

namespace norvane::testing {

// Builds a screenshot with distinct content (its id as the image unless given); fields are free to
// change afterwards.
inline Screenshot makeScreenshot(const QString& appName = QStringLiteral("Editor"),
                                 const QString& windowTitle = QStringLiteral("Notes"), quint32 windowID = 42,
                                 const QByteArray& image = {}) {
    Screenshot s;
    s.id = QUuid::createUuid();
    s.image = image.isEmpty() ? s.id.toByteArray() : image;
    s.appName = appName;
    s.windowTitle = windowTitle;
    s.windowID = windowID;
    s.timestamp = QDateTime::currentDateTimeUtc();
    s.captureSignature = appName + u'|' + QString::number(windowID) + u'|' + windowTitle;
    s.captureFingerprint =
        QString::fromLatin1(QCryptographicHash::hash(s.image, QCryptographicHash::Sha256).toHex());
    return s;
}

struct FakeWindowProvider : FrontmostWindowProviding {
    std::optional<FrontmostWindowInfo> window;
    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override { return window; }
};

struct FakeImageCapture : WindowImageCapturing {
    std::optional<QImage> image;
    QList<quint32> requestedWindows;
    QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) override {
        requestedWindows.append(windowID);
        co_return std::optional<QImage>(image);
    }
};

struct FakePermissionChecker : ScreenRecordingPermissionChecking {
    bool granted = true;
    bool hasScreenRecordingPermission() override { return granted; }
};

// A screen capturer. Each capture returns the next queued screenshot, else a new frame ("frame-1",
// "frame-2", ...) of the current window. With `clock` and `captureDelaySeconds` set, a capture takes that
// long in virtual time.
struct FakeScreenCapturer : ScreenCapturing {
    std::optional<FrontmostWindowInfo> window =
        FrontmostWindowInfo{42, QStringLiteral("Editor"), QStringLiteral("Notes"), false};
    std::deque<std::optional<Screenshot>> queued;
    bool returnNothing = false;
    Clock* clock = nullptr;
    double captureDelaySeconds = 0;
    QList<bool> captureRequests; // the force flag of every request
    int frames = 0;

    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override { return window; }
    void resetDeduplicationState() override {}
    QCoro::Task<std::optional<Screenshot>> captureFrontmostWindow(bool force) override {
        captureRequests.append(force);
        if (clock && captureDelaySeconds > 0)
            co_await clock->sleep(captureDelaySeconds);
        if (!queued.empty()) {
            const auto next = queued.front();
            queued.pop_front();
            co_return next;
        }
        if (returnNothing || !window)
            co_return std::nullopt;
        Screenshot s = makeScreenshot(window->appName, window->windowTitle, window->windowID,
                                      "frame-" + QByteArray::number(++frames));
        if (clock)
            s.timestamp = clock->now();
        co_return s;
    }
};

// Input is typing, last seen at `at`; stopping forgets it.
struct FakeInputActivityMonitor : InputActivityMonitoring {
    std::optional<QDateTime> at;
    int startCalls = 0, stopCalls = 0;

    void start() override { ++startCalls; }
    void stop() override {
        ++stopCalls;
        at.reset();
    }
    std::optional<QDateTime> lastMeaningfulInputAt() const override { return at; }
    std::optional<MeaningfulInputKind> lastMeaningfulInputKind() const override {
        return at ? std::optional(MeaningfulInputKind::Keyboard) : std::nullopt;
    }
};

// An analyzer. With `clock` and `delaySeconds` set, an analysis takes that long in virtual time, and it
// finishes its work even when told to stop, as a slow reply might.
struct FakeOpportunityAnalyzer : OpportunityAnalyzing {
    std::optional<Opportunity> answer;
    Clock* clock = nullptr;
    double delaySeconds = 0;
    QList<QList<Screenshot>> calls;

    QCoro::Task<std::optional<Opportunity>> analyze(QList<Screenshot> screenshots,
                                                    CancellationToken = {}) override {
        calls.append(screenshots);
        if (clock && delaySeconds > 0)
            co_await clock->sleep(delaySeconds);
        co_return std::optional<Opportunity>(answer);
    }
};

// A store. With `clock` and `persistDelaySeconds` set, writing a capture takes that long in virtual time.
struct FakeScreenshotStore : ScreenshotPersisting {
    struct RecommendationWrite {
        Recommendation recommendation;
        Opportunity opportunity;
        QString userAnswer;
    };
    QList<Screenshot> persisted;
    QList<QList<Screenshot>> syncs;
    QList<RecommendationWrite> recommendations;
    Clock* clock = nullptr;
    double persistDelaySeconds = 0;

    QCoro::Task<> persistCapture(Screenshot screenshot) override {
        if (clock && persistDelaySeconds > 0)
            co_await clock->sleep(persistDelaySeconds);
        persisted.append(screenshot);
    }
    QCoro::Task<> syncBuffer(QList<Screenshot> buffer) override {
        syncs.append(buffer);
        co_return;
    }
    QCoro::Task<> persistRecommendation(Recommendation recommendation, Opportunity opportunity,
                                        QString userAnswer) override {
        recommendations.append({recommendation, opportunity, userAnswer});
        co_return;
    }
};

struct FakeGemini : GeminiGenerating {
    struct Call {
        QList<GeminiRequestPart> parts;
        ModelConnection connection;
        double temperature;
        std::optional<QString> responseMimeType;
    };
    QList<Call> calls;
    std::deque<Expected<QString, GeminiClientError>> replies; // answered in order; none gives emptyResponse
    Clock* clock = nullptr; // with `delaySeconds`: each answer takes that long, or until cancelled
    double delaySeconds = 0;

    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart> parts,
                                                               ModelConnection connection, double temperature,
                                                               std::optional<QString> responseMimeType,
                                                               CancellationToken cancel = {}) override {
        calls.append({parts, connection, temperature, responseMimeType});
        if (clock && delaySeconds > 0)
            co_await clock->sleep(delaySeconds, cancel);
        if (replies.empty())
            co_return GeminiClientError::emptyResponse();
        const auto reply = replies.front();
        replies.pop_front();
        co_return reply;
    }
};

// A recommendation engine. Answers from `replies` in order (none left: sampleRecommendation()). With
// `clock` and `delaySeconds` set, each request takes that long in virtual time.
struct FakeRecommendationEngine : RecommendationGenerating {
    struct Call {
        Opportunity opportunity;
        QString userAnswer;
        std::optional<Screenshot> currentScreenshot;
    };
    QList<Call> calls;
    std::deque<Expected<Recommendation, GeminiClientError>> replies;
    Clock* clock = nullptr;
    double delaySeconds = 0;

    static Recommendation sampleRecommendation() {
        return {QStringLiteral("Let a prompt draft the table"),
                QStringLiteral("Paste the rows into a chat model and ask for the summary table."),
                QStringLiteral("Summarise these rows as a table."), QStringLiteral("2 min"),
                QStringLiteral("Saves 20 minutes")};
    }
    QCoro::Task<Expected<Recommendation, GeminiClientError>>
    generateRecommendation(Opportunity opportunity, QString userAnswer,
                           std::optional<Screenshot> currentScreenshot) override {
        calls.append({opportunity, userAnswer, currentScreenshot});
        if (clock && delaySeconds > 0)
            co_await clock->sleep(delaySeconds);
        if (replies.empty())
            co_return sampleRecommendation();
        const auto reply = replies.front();
        replies.pop_front();
        co_return reply;
    }
};

// The monitoring service as the shell sees it. With `appState` set, starting and stopping flip
// isMonitoring the way the real service does (both also clear a pause). Counting prunes `captureTimes`
// to the last hour, as the loop prunes its own list.
struct FakeMonitoringControl : MonitoringControlling {
    AppState* appState = nullptr;
    int startCalls = 0, stopCalls = 0;
    QList<QDateTime> captureTimes;

    void startFromUserRequest() override {
        ++startCalls;
        setMonitoring(true);
    }
    void stop() override {
        ++stopCalls;
        setMonitoring(false);
    }
    int recentCaptureCount(const QDateTime& now) override {
        captureTimes.removeIf([&](const QDateTime& at) { return at < now.addSecs(-3600); });
        return int(captureTimes.size());
    }
    QList<Screenshot> screenshotBuffer() const override { return {}; }
    int discardCalls = 0;
    void discardStoppedBuffer() override { ++discardCalls; }

private:
    void setMonitoring(bool on) {
        if (appState) {
            appState->setIsMonitoring(on);
            appState->resumeMonitoring();
        }
    }
};

struct FakeNudgePresenter : NudgePresenting {
    int presentCalls = 0, dismissCalls = 0;
    void presentOrUpdate() override { ++presentCalls; }
    void dismiss() override { ++dismissCalls; }
};

struct FakeSettingsWindow : SettingsWindowPresenting {
    QList<SettingsPresentationMode> shows;
    void show(SettingsPresentationMode mode) override { shows.append(mode); }
};

struct FakePermissions : PermissionProviding {
    bool screenRecording = true, grantOnRequest = false, accessibility = true;
    int openSettingsCalls = 0;

    bool hasScreenRecordingPermission() override { return screenRecording; }
    bool requestScreenRecordingPermission() override {
        return screenRecording = screenRecording || grantOnRequest;
    }
    void openScreenRecordingSettings() override { ++openSettingsCalls; }
    bool hasAccessibilityPermission() override { return accessibility; }
    bool ensureAccessibilityAccessIfNeeded() override { return accessibility; }
    QList<SessionCapability> capabilities;
    QList<SessionCapability> sessionCapabilities() override { return capabilities; }
    // A desktop that asks the user what to share: the user answers `chooseOnConsent` after
    // `consentDelaySeconds` of `clock`'s time.
    bool consentAskable = false, chooseOnConsent = false;
    Clock* clock = nullptr;
    double consentDelaySeconds = 0;
    int consentRequests = 0;
    bool canAskForCaptureConsent() override { return consentAskable; }
    QCoro::Task<bool> askForCaptureConsent() override {
        ++consentRequests;
        if (clock && consentDelaySeconds > 0)
            co_await clock->sleep(consentDelaySeconds);
        screenRecording = screenRecording || chooseOnConsent;
        co_return chooseOnConsent;
    }
};

} // namespace norvane::testing
