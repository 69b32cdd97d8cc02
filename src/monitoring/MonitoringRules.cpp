// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "MonitoringRules.h"

#include "model/Logging.h"

#include <algorithm>
#include <cmath>

namespace norvane::monitoring {

namespace {

int baseScore(const std::optional<ScreenshotCaptureReason>& reason) {
    if (!reason)
        return 0;
    switch (*reason) {
    case ScreenshotCaptureReason::AppSwitch:
    case ScreenshotCaptureReason::WindowSwitch:
        return 100;
    case ScreenshotCaptureReason::ResumedAfterIdle:
        return 90;
    case ScreenshotCaptureReason::ActiveInterval:
        return 50;
    case ScreenshotCaptureReason::CooldownInterval:
        return 10;
    }
    return 0;
}

// The candidates in descending preference; equal scores keep buffer order.
QList<Screenshot> byPreference(QList<Screenshot> candidates, const QList<Screenshot>& burst) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&burst](const Screenshot& a, const Screenshot& b) {
                         return analysisPreferenceScore(a, burst) > analysisPreferenceScore(b, burst);
                     });
    return candidates;
}

QString middleReason(const Screenshot& candidate, const Screenshot& first) {
    switch (candidate.captureReason.value_or(ScreenshotCaptureReason::ActiveInterval)) {
    case ScreenshotCaptureReason::ResumedAfterIdle:
        return QStringLiteral("it is the wake screenshot that started the burst");
    case ScreenshotCaptureReason::AppSwitch:
        return QStringLiteral("it captures a frontmost app change inside the burst");
    case ScreenshotCaptureReason::WindowSwitch:
        return QStringLiteral("it captures a frontmost window change inside the burst");
    case ScreenshotCaptureReason::ActiveInterval:
    case ScreenshotCaptureReason::CooldownInterval:
        break;
    }
    return signaturesDiffer(candidate.captureSignature, first.captureSignature)
               ? QStringLiteral("it shows visible change relative to the start of the burst")
               : QStringLiteral("it adds mid-burst context");
}

} // namespace

QString formattedInterval(double seconds) {
    const double rounded = std::round(seconds); // std::round takes halves away from zero
    const qint64 whole = rounded > 0 ? qint64(std::min(rounded, 9.0e15)) : 0;
    return QString::number(whole) + QLatin1Char('s');
}

MonitoringActivityState nextActivityState(MonitoringActivityState current, std::optional<double> inputAge) {
    if (!inputAge || *inputAge >= idleThreshold)
        return MonitoringActivityState::Idle;
    if (current == MonitoringActivityState::Idle)
        return MonitoringActivityState::Wake;
    return *inputAge <= activeStateWindow ? MonitoringActivityState::Active
                                          : MonitoringActivityState::Cooldown;
}

std::optional<ScreenshotCaptureReason>
captureReasonForWindowChange(const std::optional<FrontmostWindowInfo>& previous,
                             const std::optional<FrontmostWindowInfo>& current) {
    if (!current)
        return std::nullopt;
    if (!previous || previous->appName != current->appName)
        return ScreenshotCaptureReason::AppSwitch;
    if (previous->windowID != current->windowID)
        return ScreenshotCaptureReason::WindowSwitch;
    // A title that changes by itself (a clock, a counter, a playing track) is no switch: the cadence
    // takes that window as it takes any other.
    return std::nullopt;
}

bool isAnalysisEligible(const Screenshot& screenshot) {
    return screenshot.activityState == MonitoringActivityState::Wake ||
           screenshot.activityState == MonitoringActivityState::Active;
}

qsizetype bufferEvictionIndex(const QList<Screenshot>& buffer) {
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer[i].activityState == MonitoringActivityState::Cooldown ||
            buffer[i].captureReason == ScreenshotCaptureReason::CooldownInterval)
            return i;
    }
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (!isAnalysisEligible(buffer[i]))
            return i;
    }
    return 0;
}

bool signaturesDiffer(const std::optional<QString>& a, const std::optional<QString>& b) {
    return a != b;
}

int analysisPreferenceScore(const Screenshot& candidate, const QList<Screenshot>& burst) {
    const std::optional<QString> none;
    const auto& firstSignature = burst.isEmpty() ? none : burst.first().captureSignature;
    const auto& lastSignature = burst.isEmpty() ? none : burst.last().captureSignature;
    int score = baseScore(candidate.captureReason);
    if (signaturesDiffer(candidate.captureSignature, firstSignature))
        score += 25;
    if (signaturesDiffer(candidate.captureSignature, lastSignature))
        score += 15;
    const auto position = std::find_if(burst.begin(), burst.end(),
                                       [&candidate](const Screenshot& s) { return s.id == candidate.id; });
    if (position != burst.end())
        score += int(position - burst.begin());
    return score;
}

bool selectForAnalysis(const Screenshot& candidate, const QString& reason, QList<Screenshot>& batch) {
    const QString candidateId = shortId(candidate.id);
    for (const auto& member : batch) {
        if (member.id == candidate.id) {
            qCDebug(lcMonitoringService).noquote()
                << QStringLiteral("Skipping screenshot %1 because it is already in the analysis batch")
                       .arg(candidateId);
            return false;
        }
    }
    if (candidate.captureFingerprint) {
        for (const auto& member : batch) {
            if (member.captureFingerprint == candidate.captureFingerprint) {
                qCDebug(lcMonitoringService).noquote()
                    << QStringLiteral("Skipping screenshot %1 because it is a near-duplicate of %2")
                           .arg(candidateId, shortId(member.id));
                return false;
            }
        }
    }
    batch.append(candidate);
    qCDebug(lcMonitoringService).noquote()
        << QStringLiteral("Selected screenshot %1 for analysis because %2").arg(candidateId, reason);
    return true;
}

QList<Screenshot> selectScreenshotsForAnalysis(const QList<Screenshot>& buffer) {
    QList<Screenshot> eligible;
    for (const auto& screenshot : buffer) {
        if (isAnalysisEligible(screenshot)) {
            eligible.append(screenshot);
        } else {
            qCDebug(lcMonitoringService).noquote()
                << QStringLiteral("Skipping screenshot %1 for analysis because it was captured during %2")
                       .arg(shortId(screenshot.id), rawValue(screenshot.activityState));
        }
    }
    if (eligible.isEmpty() || !eligible.last().activityBurstID) {
        qCDebug(lcMonitoringService) << "Skipping analysis selection because there are no active-period "
                                        "screenshots yet";
        return {};
    }

    const auto latestBurst = eligible.last().activityBurstID;
    QList<Screenshot> burst;
    for (const auto& screenshot : eligible) {
        if (screenshot.activityBurstID == latestBurst)
            burst.append(screenshot);
    }
    if (burst.size() < analysisTriggerCaptureCount) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral(
                   "Skipping analysis selection because the latest activity burst only has %1 active "
                   "screenshots")
                   .arg(burst.size());
        return {};
    }

    QList<Screenshot> batch;
    selectForAnalysis(burst.first(), QStringLiteral("it is the first screenshot in the activity burst"),
                      batch);
    for (const auto& candidate : byPreference(burst.mid(1, burst.size() - 2), burst)) {
        if (selectForAnalysis(candidate, middleReason(candidate, burst.first()), batch))
            break;
    }
    selectForAnalysis(burst.last(), QStringLiteral("it is the latest screenshot in the activity burst"),
                      batch);
    if (batch.size() < analysisTriggerCaptureCount) {
        for (const auto& candidate : byPreference(burst, burst)) {
            if (batch.size() >= analysisTriggerCaptureCount)
                break;
            selectForAnalysis(candidate,
                              QStringLiteral("it adds extra context without duplicating the current batch"),
                              batch);
        }
    }

    if (batch.size() != analysisTriggerCaptureCount) {
        qCDebug(lcMonitoringService).noquote()
            << QStringLiteral(
                   "Skipping analysis selection because only %1 distinct screenshots were useful enough")
                   .arg(batch.size());
        return {};
    }
    std::stable_sort(batch.begin(), batch.end(),
                     [](const Screenshot& a, const Screenshot& b) { return a.timestamp < b.timestamp; });
    QStringList ids;
    for (const auto& screenshot : batch)
        ids.append(shortId(screenshot.id));
    qCInfo(lcMonitoringService).noquote()
        << QStringLiteral("Selected screenshots for analysis: %1").arg(ids.join(QStringLiteral(", ")));
    return batch;
}

QString collectingContextDetail(int currentBurstCount) {
    const QString needed = QString::number(analysisTriggerCaptureCount);
    return QStringLiteral("Norvane needs %1 wake/active screenshots in one burst before it can analyze. "
                          "Current burst: %2/%1.")
        .arg(needed, QString::number(std::min(currentBurstCount, analysisTriggerCaptureCount)));
}

} // namespace norvane::monitoring
