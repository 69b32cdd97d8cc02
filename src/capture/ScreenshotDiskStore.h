// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/CaptureHousekeeping.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QThread;

namespace norvane {

// Keeps every capture as a JPEG, mirrors the screenshot buffer into a folder with a metadata.json
// index, and writes one JSON record per recommendation. One worker thread runs the file work, one
// operation at a time in call order; callers await completion. Failures are logged and dropped.
// Everything it creates is private to the user: folders 0700, files 0600.
class ScreenshotDiskStore : public QObject, public ScreenshotPersisting, public CaptureHousekeeping {
    Q_OBJECT
public:
    // Without a base directory the store writes under the user's data folder + "/Norvane". `clock` gives
    // the time of recommendation records (the wall clock when null). Creates nothing on disk.
    explicit ScreenshotDiskStore(std::optional<QString> baseDirectory = {}, QObject* parent = nullptr,
                                 Clock* clock = nullptr);
    // Finishes the operations already queued before returning.
    ~ScreenshotDiskStore() override;

    static ScreenshotDiskStore* shared();

    QCoro::Task<> persistCapture(Screenshot screenshot) override;
    QCoro::Task<> syncBuffer(QList<Screenshot> buffer) override;
    QCoro::Task<> persistRecommendation(Recommendation recommendation, Opportunity opportunity,
                                        QString userAnswer) override;
    QCoro::Task<CaptureFolderSummary> pruneCaptures(QDateTime now, qint64 maxAgeSeconds,
                                                    quint64 maxBytes) override;
    QCoro::Task<CaptureFolderSummary> deleteAllCaptures(bool includingBuffer) override;
    QCoro::Task<CaptureFolderSummary> summarizeCaptures() override;

    QString capturesDirectoryURL() const { return m_capturesDirectory; }
    QString bufferDirectoryURL() const { return m_bufferDirectory; }
    QString recommendationsDirectoryURL() const { return m_recommendationsDirectory; }
    QString rootDirectoryURL() const { return m_rootDirectory; }
    // Bytes handed to the disk so far, files and indexes together.
    quint64 bytesWritten() const;

    // Letters, marks and digits of any script plus "-" and "_"; every other character becomes "_",
    // "_" is trimmed from both ends, an empty result is "untitled", and at most 48 user-perceived
    // characters are kept.
    static QString sanitizeForFileName(const QString& text);
    // yyyy-MM-dd_HH-mm-ss_SSS_APP_TITLE_lowercase-uuid.jpg, local time.
    static QString captureFileName(const Screenshot& screenshot);
    // Whether `fileName` has the shape captureFileName() gives.
    static bool isCaptureFileName(const QString& fileName);
    // NN_APP_TITLE_yyyy-MM-dd_HH-mm-ss.jpg with the 1-based position, local time; `index` is 0-based.
    static QString bufferFileName(const Screenshot& screenshot, int index);
    // yyyy-MM-dd_HH-mm-ss_SSS_PATTERN.json, local time of `now`.
    static QString recommendationFileName(const Opportunity& opportunity, const QDateTime& now);
    // Internet date-time in UTC without fractional seconds: 2026-12-04T23:45:07Z.
    static QString iso8601(const QDateTime& time);

    // One entry of metadata.json; `index` is 0-based. Absent optionals are left out.
    static QJsonObject exportMetadata(const Screenshot& screenshot, int index);
    static QJsonObject recommendationRecord(const Recommendation& recommendation,
                                            const Opportunity& opportunity, const QString& userAnswer,
                                            const QDateTime& now);

private:
    struct WorkerState;
    static std::optional<QString> syncBufferFolder(const QString& directory, const QList<Screenshot>& buffer,
                                                   WorkerState& state);
    // Runs `tidy` over the captures folder on the worker thread and logs what went.
    QCoro::Task<CaptureFolderSummary> tidyCaptures(std::function<CaptureFolderSummary(const QString&)> tidy);
    // Runs `work` on the worker thread after every operation queued before it; resumes the caller when done.
    QCoro::Task<> enqueue(std::function<void()> work);

    QString m_rootDirectory;
    QString m_capturesDirectory;
    QString m_bufferDirectory;
    QString m_recommendationsDirectory;
    Clock* m_clock;
    QThread* m_thread;
    QObject* m_worker; // lives on m_thread; queued calls to it run in posting order
    std::shared_ptr<WorkerState> m_state;
};

} // namespace norvane
