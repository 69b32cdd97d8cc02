// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

namespace norvane {

// What Norvane is doing, for the command line and any other outside door: one JSON object with the fields
// running, monitoring, paused, pausedUntil (ISO 8601 in UTC, or null), capturesLastHour and
// lastDiagnostic, and one sentence made from it.
class StatusReport {
    Q_DECLARE_TR_FUNCTIONS(StatusReport)
public:
    // The running instance's status; the capture count comes from the monitoring's rolling list.
    static QJsonObject make(const AppState& appState, MonitoringControlling* monitoring);
    static QJsonObject notRunning() { return {{QStringLiteral("running"), false}}; }
    // "Monitoring is on, with 12 captures in the last hour. Last status: <the diagnostics detail>", in the
    // user's language; the object keeps the detail in English, as the log has it.
    static QString sentence(const QJsonObject& status);
};

} // namespace norvane
