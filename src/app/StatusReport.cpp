// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "StatusReport.h"
#include "Translations.h"

#include <QJsonValue>
#include <QLocale>

namespace norvane {

QJsonObject StatusReport::make(const AppState& appState, MonitoringControlling* monitoring) {
    const std::optional<QDateTime>& until = appState.pauseResumeTime();
    const bool paused = appState.isMonitoring() && appState.isPaused();
    return {
        {QStringLiteral("running"), true},
        {QStringLiteral("monitoring"), appState.isMonitoring()},
        {QStringLiteral("paused"), paused},
        {QStringLiteral("pausedUntil"),
         paused && until ? QJsonValue(until->toUTC().toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("capturesLastHour"),
         monitoring ? monitoring->recentCaptureCount(appState.clock()->now()) : 0},
        {QStringLiteral("lastDiagnostic"), appState.nudgeDiagnostics().detail},
    };
}

QString StatusReport::sentence(const QJsonObject& status) {
    if (!status.value(QStringLiteral("running")).toBool())
        return tr("Norvane is not running.");
    const QDateTime until =
        QDateTime::fromString(status.value(QStringLiteral("pausedUntil")).toString(), Qt::ISODate);
    QString state;
    if (!status.value(QStringLiteral("monitoring")).toBool())
        state = tr("Monitoring is off");
    else if (!status.value(QStringLiteral("paused")).toBool())
        state = tr("Monitoring is on");
    else if (until.isValid())
        state = tr("Monitoring is paused until %1")
                    .arg(QLocale().toString(until.toLocalTime().time(), QLocale::ShortFormat));
    else
        state = tr("Monitoring is paused");
    const int captures = status.value(QStringLiteral("capturesLastHour")).toInt();
    QString text = captures == 1 ? tr("%1, with 1 capture in the last hour.").arg(state)
                                 : tr("%1, with %2 captures in the last hour.").arg(state).arg(captures);
    if (const QString last = status.value(QStringLiteral("lastDiagnostic")).toString().trimmed();
        !last.isEmpty())
        text += QLatin1Char(' ') + tr("Last status: %1").arg(translatedDiagnosticsDetail(last));
    return text;
}

} // namespace norvane
