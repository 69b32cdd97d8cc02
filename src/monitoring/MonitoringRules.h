// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Records.h"

#include <QList>
#include <QString>

#include <optional>

namespace norvane::monitoring {

// The decisions of the monitoring loop that depend only on plain data. MonitoringService applies them
// to its own state; keeping them free of that state lets each rule be checked row by row.

// The loop's tuning values, in seconds unless counted.
inline constexpr double defaultLoopPollInterval = 1.0;
inline constexpr double idleThreshold = 20.0;           // input this old (or older) means idle
inline constexpr double activeStateWindow = 10.0;       // input at most this old means active
inline constexpr double activeCaptureInterval = 4.0;    // capture cadence while active
inline constexpr double cooldownCaptureInterval = 12.0; // capture cadence while cooling down
inline constexpr int analysisTriggerCaptureCount = 3;   // eligible captures of a burst that trigger analysis
inline constexpr int screenshotBufferLimit = 10;
inline constexpr double recentCaptureWindow = 3600.0; // capture times older than this are forgotten

// Seconds rounded to a whole number (halves away from zero), never negative, followed by "s".
QString formattedInterval(double seconds);

// The activity state machine. `inputAge` is the age of the last meaningful input, none when no input
// has been seen. `wake` only ever follows `idle`; every other state is decided by age alone.
MonitoringActivityState nextActivityState(MonitoringActivityState current, std::optional<double> inputAge);

// Why the frontmost window of this tick warrants a capture compared with the previous tick's window.
std::optional<ScreenshotCaptureReason>
captureReasonForWindowChange(const std::optional<FrontmostWindowInfo>& previous,
                             const std::optional<FrontmostWindowInfo>& current);

// Wake and active captures are what analysis uses; cool-down and idle ones are only kept for context.
bool isAnalysisEligible(const Screenshot& screenshot);

// Which screenshot an over-full buffer gives up: the oldest cool-down one, else the oldest that is
// neither wake nor active, else the oldest of all.
qsizetype bufferEvictionIndex(const QList<Screenshot>& buffer);

// Two optional signatures differ when exactly one is present or both are present and unequal.
bool signaturesDiffer(const std::optional<QString>& a, const std::optional<QString>& b);

// How informative `candidate` is within its burst (the burst's screenshots in buffer order).
int analysisPreferenceScore(const Screenshot& candidate, const QList<Screenshot>& burst);

// Adds `candidate` to `batch` unless it is already there or byte-identical to a member.
bool selectForAnalysis(const Screenshot& candidate, const QString& reason, QList<Screenshot>& batch);

// Exactly three distinct screenshots of the buffer's latest burst in time order, or nothing.
QList<Screenshot> selectScreenshotsForAnalysis(const QList<Screenshot>& buffer);

// The diagnostics text while a burst is still short of eligible captures.
QString collectingContextDetail(int currentBurstCount);

} // namespace norvane::monitoring
