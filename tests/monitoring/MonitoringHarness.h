#pragma once

#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "model/AppState.h"
#include "monitoring/MonitoringService.h"

#include <memory>

namespace norvane::testing {

inline const QString kMonitoringCategory = QStringLiteral("Norvane.MonitoringService");

// A monitoring service wired to fakes and a manual clock. Monitoring starts with a valid key and every
// permission granted; ticks happen only when the test advances the clock.
struct MonitoringHarness {
    explicit MonitoringHarness(OpportunityAnalyzing* analyzerOverride = nullptr,
                               ScreenshotPersisting* storeOverride = nullptr) {
        capturer.clock = &clock;
        analyzer.clock = &clock;
        appState.setApiKey(QStringLiteral("test-key"));
        service = std::make_unique<MonitoringService>(
            &capturer, analyzerOverride ? analyzerOverride : &analyzer, &appState, &input,
            storeOverride ? storeOverride : &store, &settingsWindow, &permissions, &clock);
    }
    ~MonitoringHarness() { service.reset(); }

    // Input just now, so the tick made by starting wakes the loop.
    void startWithFreshInput() {
        input.record(clock.now());
        service->startFromUserRequest();
    }

    // Ticks for `seconds`, with fresh input before every tick so the loop stays active.
    void stayActive(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            input.record(clock.now());
            clock.advance(1.0);
        }
    }

    void setInputAge(double seconds) { input.record(clock.now().addMSecs(qint64(-seconds * 1000.0))); }

    ManualClock clock;
    FakeScreenCapturer capturer;
    FakeOpportunityAnalyzer analyzer;
    FakeInputActivityMonitor input;
    FakeScreenshotStore store;
    FakeSettingsWindow settingsWindow;
    FakePermissions permissions;
    AppState appState{nullptr, nullptr, &clock};
    std::unique_ptr<MonitoringService> service;
};

inline QStringList debugLines(const LogCapture& log) {
    return log.messages(kMonitoringCategory, QtDebugMsg);
}
inline QStringList infoLines(const LogCapture& log) {
    return log.messages(kMonitoringCategory, QtInfoMsg);
}

inline QList<QUuid> idsOf(const QList<Screenshot>& screenshots) {
    QList<QUuid> ids;
    for (const auto& s : screenshots)
        ids.append(s.id);
    return ids;
}

inline QStringList linesStartingWith(const QStringList& lines, const QString& prefix) {
    QStringList result;
    for (const auto& line : lines)
        if (line.startsWith(prefix))
            result.append(line);
    return result;
}

} // namespace norvane::testing
