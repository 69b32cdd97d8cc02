// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "fakes/Fakes.h"
#include "monitoring/MonitoringService.h"

#include <QTest>

namespace norvane::testing {

// A monitoring service wired to fakes and a manual clock, with a valid key and every permission granted.
// The loop ticks once at start and then once a second of virtual time.
struct MonitoringHarness {
    ManualClock clock;
    FakeScreenCapturer capturer;
    FakeOpportunityAnalyzer analyzer;
    FakeInputActivityMonitor input;
    FakeScreenshotStore store;
    FakeSettingsWindow settingsWindow;
    FakePermissions permissions;
    AppState appState{nullptr, nullptr, &clock};
    MonitoringService service{&capturer, &analyzer,       &appState,    &input,
                              &store,    &settingsWindow, &permissions, &clock};

    MonitoringHarness() {
        capturer.clock = analyzer.clock = store.clock = &clock;
        appState.setApiKey(QStringLiteral("test-key"));
    }
    // Input just now, so the tick made by starting wakes the loop.
    void startWithFreshInput() {
        input.at = clock.now();
        service.startFromUserRequest();
    }
    // Ticks for `seconds` with the last input `inputAge` seconds old at every tick (0: the user is busy).
    void run(int seconds, double inputAge = 0) {
        for (int i = 0; i < seconds; ++i) {
            input.at = clock.now().addMSecs(qint64((1.0 - inputAge) * 1000.0));
            clock.advance(1.0);
        }
    }
    QList<ScreenshotCaptureReason> bufferReasons() const {
        QList<ScreenshotCaptureReason> reasons;
        for (const auto& s : service.screenshotBuffer())
            reasons.append(s.captureReason.value());
        return reasons;
    }
};

} // namespace norvane::testing
