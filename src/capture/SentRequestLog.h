// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Clock.h"
#include "model/SentRequests.h"

#include <QJsonObject>
#include <QObject>
#include <QPromise>
#include <QString>

#include <qcorofuture.h>

#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace norvane {

// The record of requests sent to the model, as JSON lines in one file (0600, its folder 0700 when made
// here). Its own worker thread appends and reads, one operation at a time in call order, so neither a
// request nor the window that shows the record waits on the disk. The file keeps the newest
// `maxEntries`; it is rewritten (atomically) only once it has grown `trimMargin` past that, so an append
// stays one short write. A line torn by a crash is skipped when read.
class SentRequestLog : public QObject, public SentRequestRecording, public SentRequestReading {
    Q_OBJECT
public:
    static constexpr int maxEntries = 1000;
    static constexpr int trimMargin = 100;

    // `clock` stamps the entries (the wall clock when null). Reading tells which frames still have their
    // file in `capturesDirectory`. Creates nothing on disk.
    explicit SentRequestLog(QString filePath, Clock* clock = nullptr, QString capturesDirectory = {},
                            QObject* parent = nullptr);
    // Finishes the operations already queued before returning.
    ~SentRequestLog() override;

    static SentRequestLog* shared();

    QString filePath() const { return m_filePath; }

    void recordSentRequest(QString kind, QList<Screenshot> frames, QString outcome,
                           std::optional<QString> prompt = {}, QString destination = {}) override;
    QCoro::Task<SentRequestPage> readSentRequests(int skip, int count) override;
    // Resumes once the line is on disk or the failure is logged; true when it was written.
    QCoro::Task<bool> append(SentRequest entry);

    static QJsonObject toJson(const SentRequest& entry);
    static std::optional<SentRequest> fromJson(const QByteArray& line);

private:
    struct WorkerState;

    // Runs `work` on the worker after every operation queued before it; resumes the caller with its result.
    template <typename T> QCoro::Task<T> onWorker(std::function<T()> work) {
        auto promise = std::make_shared<QPromise<T>>();
        QFuture<T> done = promise->future();
        promise->start();
        post([promise, work = std::move(work)] {
            promise->addResult(work());
            promise->finish();
        });
        co_return co_await done;
    }
    void post(std::function<void()> run);

    QString m_filePath;
    QString m_capturesDirectory;
    Clock* m_clock;
    QThread* m_thread;
    QObject* m_worker; // lives on m_thread
    std::shared_ptr<WorkerState> m_state;
};

} // namespace norvane
