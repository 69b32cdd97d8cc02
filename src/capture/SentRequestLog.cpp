// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SentRequestLog.h"

#include "ScreenshotDiskStore.h"
#include "model/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QThread>

namespace norvane {

namespace {

constexpr auto kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto kPrivateFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// A failure as a sentence for the log; empty means success.
using StepError = std::optional<QString>;

StepError ensureFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return std::nullopt;
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create the folder %1.").arg(folder);
    if (!QFile::setPermissions(folder, kPrivateFolder))
        return QStringLiteral("Could not restrict the folder %1 to its owner.").arg(folder);
    return std::nullopt;
}

} // namespace

// Touched only on the worker thread.
struct SentRequestLog::WorkerState {
    // Lines in the file, counted at the first append of this process.
    std::optional<int> lines;

    // Reads the whole file; a missing file is an empty one.
    static std::optional<QByteArray> readAll(const QString& path, QString& error) {
        QFile file(path);
        if (!file.exists())
            return QByteArray();
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Could not read %1: %2.").arg(path, file.errorString());
            return std::nullopt;
        }
        return file.readAll();
    }

    StepError append(const QString& path, const QByteArray& line) {
        if (auto error = ensureFolder(QFileInfo(path).path()))
            return error;
        QByteArray bytes = line + '\n';
        if (!lines) {
            QString error;
            const auto contents = readAll(path, error);
            if (!contents)
                return error;
            lines = int(contents->count('\n'));
            // A crash can leave the last line unfinished; the new one starts on a line of its own.
            if (!contents->isEmpty() && !contents->endsWith('\n')) {
                bytes.prepend('\n');
                ++*lines;
            }
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kPrivateFile))
            return QStringLiteral("Could not open %1 for writing: %2.").arg(path, file.errorString());
        if (!file.setPermissions(kPrivateFile))
            return QStringLiteral("Could not restrict %1 to its owner: %2.").arg(path, file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            // A part may have landed: count again, so the next entry starts on a line of its own.
            lines.reset();
            return QStringLiteral("Could not write %1: %2.").arg(path, file.errorString());
        }
        ++*lines;
        return *lines > maxEntries + trimMargin ? trim(path) : std::nullopt;
    }

    StepError trim(const QString& path) {
        QString error;
        const auto contents = readAll(path, error);
        if (!contents)
            return error;
        // Lines torn by a crash go too, so the newest entries fill the whole allowance.
        QByteArrayList kept;
        for (const QByteArray& line : contents->split('\n')) {
            if (fromJson(line))
                kept.append(line);
        }
        kept = kept.mid(std::max<qsizetype>(0, kept.size() - maxEntries));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QStringLiteral("Could not open %1 for writing: %2.").arg(path, file.errorString());
        if (!file.setPermissions(kPrivateFile))
            return QStringLiteral("Could not restrict %1 to its owner: %2.").arg(path, file.errorString());
        file.write(kept.join('\n') + '\n');
        if (!file.commit())
            return QStringLiteral("Could not save %1: %2.").arg(path, file.errorString());
        lines = int(kept.size());
        return std::nullopt;
    }
};

SentRequestLog::SentRequestLog(QString filePath, Clock* clock, QString capturesDirectory, QObject* parent)
    : QObject(parent), m_filePath(std::move(filePath)), m_capturesDirectory(std::move(capturesDirectory)),
      m_clock(clock ? clock : Clock::system()), m_thread(new QThread(this)), m_worker(new QObject),
      m_state(std::make_shared<WorkerState>()) {
    m_thread->setObjectName(QStringLiteral("SentRequestLog"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

SentRequestLog::~SentRequestLog() {
    // Queued behind every pending operation, so no entry already handed over is lost.
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        m_worker, [thread] { thread->quit(); }, Qt::QueuedConnection);
    m_thread->wait();
}

void SentRequestLog::post(std::function<void()> run) {
    QMetaObject::invokeMethod(m_worker, std::move(run), Qt::QueuedConnection);
}

void SentRequestLog::recordSentRequest(QString kind, QList<Screenshot> frames, QString outcome,
                                       std::optional<QString> prompt, QString destination) {
    // Gemini is what entries written before there was a choice went to, so it is stored as none.
    if (destination == QLatin1String("Gemini"))
        destination.clear();
    SentRequest entry{m_clock->now(),     std::move(kind),   {},
                      std::move(outcome), std::move(prompt), std::move(destination)};
    for (const Screenshot& frame : frames)
        entry.frames.append({frame.appName, frame.windowTitle, ScreenshotDiskStore::captureFileName(frame)});
    // Nobody waits for the write; the task frees itself when it is done.
    (void)append(std::move(entry));
}

QCoro::Task<bool> SentRequestLog::append(SentRequest entry) {
    const QString path = m_filePath;
    const QByteArray line = QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact);
    std::function<bool()> work = [path, line, state = m_state] {
        const StepError error = state->append(path, line);
        if (error)
            qCWarning(lcSentRequestLog).noquote() << "Could not record a sent request:" << *error;
        return !error;
    };
    co_return co_await onWorker(std::move(work));
}

QCoro::Task<SentRequestPage> SentRequestLog::readSentRequests(int skip, int count) {
    const QString path = m_filePath;
    const QString captures = m_capturesDirectory;
    std::function<SentRequestPage()> work = [path, captures, skip, count] {
        SentRequestPage page;
        QString error;
        const auto contents = WorkerState::readAll(path, error);
        if (!contents) {
            qCWarning(lcSentRequestLog).noquote() << "Could not read the sent requests:" << error;
            return page;
        }
        const QByteArrayList lines = contents->split('\n');
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (it->isEmpty())
                continue;
            const auto entry = fromJson(*it);
            if (!entry)
                continue;
            if (page.total >= skip && page.entries.size() < count)
                page.entries.append(*entry);
            ++page.total;
        }
        // Asked here, off the main thread, so the view never tries a file that retention removed.
        for (SentRequest& entry : page.entries) {
            for (SentFrame& frame : entry.frames)
                frame.onDisk = !captures.isEmpty() &&
                               QFileInfo::exists(captures + QLatin1Char('/') + frame.captureFileName);
        }
        return page;
    };
    co_return co_await onWorker(std::move(work));
}

QJsonObject SentRequestLog::toJson(const SentRequest& entry) {
    QJsonArray frames;
    for (const SentFrame& frame : entry.frames)
        frames.append(QJsonObject{{QStringLiteral("appName"), frame.appName},
                                  {QStringLiteral("windowTitle"), frame.windowTitle},
                                  {QStringLiteral("captureFileName"), frame.captureFileName}});
    QJsonObject object{{QStringLiteral("time"), entry.time.toUTC().toString(Qt::ISODateWithMs)},
                       {QStringLiteral("kind"), entry.kind},
                       {QStringLiteral("frames"), frames},
                       {QStringLiteral("outcome"), entry.outcome}};
    if (entry.prompt)
        object.insert(QStringLiteral("prompt"), *entry.prompt);
    if (!entry.destination.isEmpty())
        object.insert(QStringLiteral("destination"), entry.destination);
    return object;
}

std::optional<SentRequest> SentRequestLog::fromJson(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    const QJsonObject object = document.object();
    SentRequest entry;
    entry.time = QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    entry.kind = object.value(QStringLiteral("kind")).toString();
    if (!document.isObject() || !entry.time.isValid() || entry.kind.isEmpty())
        return std::nullopt;
    for (const QJsonValue frame : object.value(QStringLiteral("frames")).toArray())
        entry.frames.append({frame[QStringLiteral("appName")].toString(),
                             frame[QStringLiteral("windowTitle")].toString(),
                             frame[QStringLiteral("captureFileName")].toString()});
    entry.outcome = object.value(QStringLiteral("outcome")).toString();
    if (object.contains(QStringLiteral("prompt")))
        entry.prompt = object.value(QStringLiteral("prompt")).toString();
    entry.destination = object.value(QStringLiteral("destination")).toString();
    return entry;
}

} // namespace norvane
