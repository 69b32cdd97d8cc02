// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "InputEventSource.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QObject>

namespace norvane {

// Remembers when the user last did something meaningful with keyboard or mouse, and what. It keeps no
// history: the monitoring loop reads the two values once per tick.
class InputActivityMonitor : public QObject, public InputActivityMonitoring {
    Q_OBJECT
public:
    InputActivityMonitor(InputEventSource* source, Clock* clock, QObject* parent = nullptr);
    ~InputActivityMonitor() override;

    static InputActivityMonitor* shared();

    void start() override;
    void stop() override;
    std::optional<QDateTime> lastMeaningfulInputAt() const override { return m_lastMeaningfulInputAt; }
    std::optional<MeaningfulInputKind> lastMeaningfulInputKind() const override {
        return m_lastMeaningfulInputKind;
    }

    // True while events are being delivered.
    bool isWatching() const { return m_listener.has_value(); }
    // False once a start found that the platform cannot report input at all.
    bool isAvailable() const { return m_available; }

    // The kind an event counts as, or nothing when it is not meaningful.
    static std::optional<MeaningfulInputKind> meaningfulKind(InputEventType type);

private:
    void recordInput(const InputEvent& event);

    InputEventSource* m_source;
    Clock* m_clock;
    std::optional<InputEventSource::ListenerId> m_listener;
    std::optional<QDateTime> m_lastMeaningfulInputAt;
    std::optional<MeaningfulInputKind> m_lastMeaningfulInputKind;
    bool m_available = true;
    bool m_reportedUnavailable = false;
};

} // namespace norvane
