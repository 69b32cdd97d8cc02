#pragma once

#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QDateTime>
#include <QList>

namespace norvane::testing {

// The monitoring service as the shell sees it. With `appState` set, starting and stopping flip
// isMonitoring the way the real service does (stopping also clears a pause). Capture times are pruned
// to the last hour on every count, as the loop prunes its own list.
class FakeMonitoringControl : public MonitoringControlling {
public:
    AppState* appState = nullptr;
    int startCalls = 0;
    int stopCalls = 0;
    QList<QDateTime> captureTimes;
    QList<QDateTime> countQueries;
    QList<Screenshot> buffer;

    void startFromUserRequest() override {
        ++startCalls;
        if (appState) {
            appState->setIsMonitoring(true);
            appState->resumeMonitoring();
        }
    }
    void stop() override {
        ++stopCalls;
        if (appState) {
            appState->setIsMonitoring(false);
            appState->resumeMonitoring();
        }
    }
    int recentCaptureCount(const QDateTime& now) override {
        countQueries.append(now);
        const QDateTime cutoff = now.addSecs(-3600);
        captureTimes.removeIf([&](const QDateTime& at) { return at < cutoff; });
        return int(captureTimes.size());
    }
    QList<Screenshot> screenshotBuffer() const override { return buffer; }
};

} // namespace norvane::testing
