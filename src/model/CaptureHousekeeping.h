// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QCoroTask>
#include <QDateTime>

namespace norvane {

// What the captures folder holds after an operation, and what the operation removed.
struct CaptureFolderSummary {
    int count = 0;
    quint64 bytes = 0;
    int removedCount = 0;
    quint64 removedBytes = 0;
};

// The upkeep of the kept captures, as the settings window and the hourly prune need it. Only files the
// store itself names as captures are counted or removed; anything else in the folder is left alone.
class CaptureHousekeeping {
public:
    virtual ~CaptureHousekeeping() = default;
    // Removes the captures last written more than `maxAgeSeconds` before `now`, then the oldest of the
    // rest until they take at most `maxBytes`. Zero means no limit; a capture exactly at a limit stays.
    virtual QCoro::Task<CaptureFolderSummary> pruneCaptures(QDateTime now, qint64 maxAgeSeconds,
                                                            quint64 maxBytes) = 0;
    // Removes every capture; with `includingBuffer` also empties the buffer folder.
    virtual QCoro::Task<CaptureFolderSummary> deleteAllCaptures(bool includingBuffer) = 0;
    virtual QCoro::Task<CaptureFolderSummary> summarizeCaptures() = 0;
};

} // namespace norvane
