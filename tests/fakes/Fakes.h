#pragma once

// Test doubles for every service interface. Each records its calls and lets the test set its answers.

#include "ManualClock.h"
#include "model/ServiceInterfaces.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <functional>

namespace norvane::testing {

// Builds a screenshot with distinct content; fields are free to change afterwards.
Screenshot makeScreenshot(const QString& appName = QStringLiteral("Editor"),
                          const QString& windowTitle = QStringLiteral("Notes"), quint32 windowID = 42,
                          const QByteArray& image = {});

class FakeWindowProvider : public FrontmostWindowProviding {
public:
    std::optional<FrontmostWindowInfo> window;
    int calls = 0;
    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override {
        ++calls;
        return window;
    }
};

class FakeImageCapture : public WindowImageCapturing {
public:
    std::optional<QImage> image;
    QList<quint32> requestedWindows;
    QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) override {
        requestedWindows.append(windowID);
        // A copy: QCoro 0.8 moves from a co_returned non-const lvalue, which would empty the member.
        std::optional<QImage> answer = image;
        co_return answer;
    }
};

class FakePermissionChecker : public ScreenRecordingPermissionChecking {
public:
    bool granted = true;
    int calls = 0;
    bool hasScreenRecordingPermission() override {
        ++calls;
        return granted;
    }
};

// A screen capturer. With `clock` and `captureDelaySeconds` set, a capture takes that long in virtual time.
class FakeScreenCapturer : public ScreenCapturing {
public:
    std::optional<FrontmostWindowInfo> window = FrontmostWindowInfo{42, QStringLiteral("Editor"),
                                                                    QStringLiteral("Notes"), false};
    // Each capture returns the next queued screenshot, else one made from the current window.
    std::deque<std::optional<Screenshot>> queued;
    bool returnNothing = false;
    Clock* clock = nullptr;
    double captureDelaySeconds = 0;
    QList<bool> captureRequests; // the force flag of every request
    int resetCalls = 0;

    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override { return window; }
    QCoro::Task<std::optional<Screenshot>> captureFrontmostWindow(bool force) override;
    void resetDeduplicationState() override { ++resetCalls; }

private:
    int m_counter = 0;
};

class FakeInputActivityMonitor : public InputActivityMonitoring {
public:
    std::optional<QDateTime> at;
    std::optional<MeaningfulInputKind> kind;
    int startCalls = 0;
    int stopCalls = 0;
    bool watching = false;

    void start() override {
        ++startCalls;
        watching = true;
    }
    void stop() override {
        ++stopCalls;
        watching = false;
        at.reset();
        kind.reset();
    }
    std::optional<QDateTime> lastMeaningfulInputAt() const override { return at; }
    std::optional<MeaningfulInputKind> lastMeaningfulInputKind() const override { return kind; }
    void record(const QDateTime& when, MeaningfulInputKind what = MeaningfulInputKind::Keyboard) {
        at = when;
        kind = what;
    }
};

// An analyzer. With `clock` and `delaySeconds` set, an analysis takes that long in virtual time.
class FakeOpportunityAnalyzer : public OpportunityAnalyzing {
public:
    std::optional<Opportunity> answer;
    std::function<void()> onAnalyze; // runs before answering, e.g. to write diagnostics
    Clock* clock = nullptr;
    double delaySeconds = 0;
    QList<QList<Screenshot>> calls;

    QCoro::Task<std::optional<Opportunity>> analyze(QList<Screenshot> screenshots,
                                                    CancellationToken cancel = {}) override;
};

class FakeScreenshotStore : public ScreenshotPersisting {
public:
    QList<Screenshot> persisted;
    QList<QList<Screenshot>> syncs;
    struct RecommendationWrite {
        Recommendation recommendation;
        Opportunity opportunity;
        QString userAnswer;
    };
    QList<RecommendationWrite> recommendations;

    QCoro::Task<> persistCapture(Screenshot screenshot) override {
        persisted.append(screenshot);
        co_return;
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

class FakeGemini : public GeminiGenerating {
public:
    struct Call {
        QList<GeminiRequestPart> parts;
        QString apiKey;
        double temperature;
        std::optional<QString> responseMimeType;
    };
    QList<Call> calls;
    std::deque<Expected<QString, GeminiClientError>> replies; // answered in order; empty gives emptyResponse

    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart> parts, QString apiKey,
                                                               double temperature,
                                                               std::optional<QString> responseMimeType,
                                                               CancellationToken cancel = {}) override;
};

class FakeNudgePresenter : public NudgePresenting {
public:
    int presentCalls = 0;
    int dismissCalls = 0;
    void presentOrUpdate() override { ++presentCalls; }
    void dismiss() override { ++dismissCalls; }
};

class FakePasteboard : public PasteboardProviding {
public:
    QStringList copies;
    void copyString(const QString& text) override { copies.append(text); }
};

class FakeSettingsWindow : public SettingsWindowPresenting {
public:
    QList<SettingsPresentationMode> shows;
    void show(SettingsPresentationMode mode) override { shows.append(mode); }
};

class FakePermissions : public PermissionProviding {
public:
    bool screenRecording = true;
    bool grantOnRequest = false;
    bool grantOnOpenSettings = false;
    bool accessibility = true;
    int requestCalls = 0;
    int openSettingsCalls = 0;
    int accessibilityRequests = 0;

    bool hasScreenRecordingPermission() override { return screenRecording; }
    bool requestScreenRecordingPermission() override {
        ++requestCalls;
        if (grantOnRequest)
            screenRecording = true;
        return screenRecording;
    }
    void openScreenRecordingSettings() override {
        ++openSettingsCalls;
        if (grantOnOpenSettings)
            screenRecording = true;
    }
    bool hasAccessibilityPermission() override { return accessibility; }
    bool ensureAccessibilityAccessIfNeeded() override {
        ++accessibilityRequests;
        return accessibility;
    }
};

} // namespace norvane::testing
