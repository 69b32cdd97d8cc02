// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ScreenshotDiskStore.h"

#include "model/Logging.h"

#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPromise>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <QThread>

#include <qcorofuture.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <numeric>
#include <system_error>

namespace norvane {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxFileNameCharacters = 48;
constexpr auto kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A failure of one step, as a sentence for the log; empty optional means success.
using StepError = std::optional<QString>;

QString localTimestamp(const QDateTime& time, bool withMilliseconds) {
    return time.toLocalTime().toString(withMilliseconds ? QStringLiteral("yyyy-MM-dd_HH-mm-ss_zzz")
                                                        : QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

fs::path toPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString describe(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message());
}

// Creates the folder and any missing parents. Only the folders made here are restricted to the user;
// folders that already existed keep their permissions.
StepError ensureDirectoryExists(const QString& directory) {
    const fs::path target = toPath(directory);
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path p = target; !p.empty(); p = p.parent_path()) {
        const fs::file_status status = fs::status(p, error);
        if (error && status.type() != fs::file_type::not_found)
            return QStringLiteral("Could not inspect the folder %1: %2.").arg(fromPath(p), describe(error));
        if (fs::exists(status))
            break;
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const bool created = fs::create_directory(*it, error);
        if (error)
            return QStringLiteral("Could not create the folder %1: %2.").arg(fromPath(*it), describe(error));
        if (created) {
            fs::permissions(*it, fs::perms::owner_all, fs::perm_options::replace, error);
            if (error)
                return QStringLiteral("Could not restrict the folder %1 to its owner: %2.")
                    .arg(fromPath(*it), describe(error));
        }
    }
    if (!fs::is_directory(target, error))
        return QStringLiteral("Could not use %1 as a folder: %2.")
            .arg(directory, error ? describe(error) : QStringLiteral("it is not a folder"));
    return std::nullopt;
}

// Writes through a temporary file that replaces the target only when complete, so a crash never leaves
// a torn file; the file is readable by the user alone. `written` adds up the bytes handed to the disk.
StepError writeFileAtomically(const QString& path, const QByteArray& bytes, std::atomic<quint64>& written) {
    written += quint64(bytes.size());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not open %1 for writing: %2.").arg(path, file.errorString());
    if (!file.setPermissions(kPrivateFile))
        return QStringLiteral("Could not restrict %1 to its owner: %2.").arg(path, file.errorString());
    if (file.write(bytes) != bytes.size())
        return QStringLiteral("Could not write %1: %2.").arg(path, file.errorString());
    if (!file.commit())
        return QStringLiteral("Could not save %1: %2.").arg(path, file.errorString());
    return std::nullopt;
}

// Removes every item except hidden ones and those in `keep`; stops at the first that cannot be removed.
StepError removeDirectoryContents(const QString& directory, const QSet<QString>& keep = {}) {
    const QFileInfoList entries =
        QDir(directory).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (keep.contains(entry.fileName()))
            continue;
        if (entry.isDir() && !entry.isSymLink()) {
            if (!QDir(entry.absoluteFilePath()).removeRecursively())
                return QStringLiteral("Could not remove the folder %1.").arg(entry.absoluteFilePath());
            continue;
        }
        QFile file(entry.absoluteFilePath());
        if (!file.remove())
            return QStringLiteral("Could not remove %1: %2.")
                .arg(entry.absoluteFilePath(), file.errorString());
    }
    return std::nullopt;
}

// A write cut short by a crash can leave its temporary file (the target's name with six characters
// added) where the file system has no unnamed temporary files.
void removeInterruptedWrites(const QString& directory) {
    static const QRegularExpression pattern(QStringLiteral("^.+\\.(jpg|json)\\.[A-Za-z0-9]{6}$"));
    const QFileInfoList entries = QDir(directory).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink() && pattern.match(entry.fileName()).hasMatch())
            QFile::remove(entry.absoluteFilePath());
    }
}

QByteArray prettyJson(const QJsonDocument& document) {
    // Indented output with the object keys in sorted order (QJsonObject keeps its keys sorted).
    return document.toJson(QJsonDocument::Indented);
}

bool isAllowedInFileName(char32_t codePoint) {
    if (codePoint == U'-' || codePoint == U'_')
        return true;
    switch (QChar::category(codePoint)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

void logFailure(const char* prefix, const QString& description) {
    qCCritical(lcScreenshotDiskStore).noquote() << QString::fromLatin1(prefix) + description;
}

struct CaptureFile {
    QString path;
    QDateTime modified;
    quint64 size = 0;
};

// The store's own captures in `directory`, oldest first. A link is never followed, whatever its name, so
// nothing outside the folder is ever measured or removed; files of other names are not ours.
QList<CaptureFile> captureFiles(const QString& directory) {
    QList<CaptureFile> files;
    const QFileInfoList entries = QDir(directory).entryInfoList(QDir::Files);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isFile() || !ScreenshotDiskStore::isCaptureFileName(entry.fileName()))
            continue;
        files.append({entry.absoluteFilePath(), entry.lastModified(), quint64(entry.size())});
    }
    std::sort(files.begin(), files.end(), [](const CaptureFile& a, const CaptureFile& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    return files;
}

// Removes captures oldest first while one is too old or they take too much (everything with `removeAll`);
// stops at the first that cannot be removed, so a stuck old file never costs newer ones.
CaptureFolderSummary tidyCaptureFolder(const QString& directory, const QDateTime& now, qint64 maxAgeSeconds,
                                       quint64 maxBytes, bool removeAll) {
    const QList<CaptureFile> files = captureFiles(directory);
    CaptureFolderSummary summary;
    summary.count = int(files.size());
    for (const CaptureFile& file : files)
        summary.bytes += file.size;
    for (const CaptureFile& file : files) {
        const bool tooOld = maxAgeSeconds > 0 && file.modified.msecsTo(now) > maxAgeSeconds * 1000;
        const bool tooMuch = maxBytes > 0 && summary.bytes > maxBytes;
        if (!removeAll && !tooOld && !tooMuch)
            break;
        QFile capture(file.path);
        if (!capture.remove()) {
            logFailure("Failed to remove a capture: ",
                       QStringLiteral("Could not remove %1: %2.").arg(file.path, capture.errorString()));
            break;
        }
        --summary.count;
        summary.bytes -= file.size;
        ++summary.removedCount;
        summary.removedBytes += file.size;
    }
    return summary;
}

} // namespace

// What the worker knows of the disk; touched only on the worker thread, except the atomic count.
struct ScreenshotDiskStore::WorkerState {
    std::atomic<quint64> bytesWritten = 0;
    // The buffer folder as this process left it: file name to frame.
    QHash<QString, QUuid> bufferOnDisk;
    QSet<QString> sweptDirectories;

    void sweepOnce(const QString& directory) {
        if (!sweptDirectories.contains(directory)) {
            removeInterruptedWrites(directory);
            sweptDirectories.insert(directory);
        }
    }
};

ScreenshotDiskStore::ScreenshotDiskStore(std::optional<QString> baseDirectory, QObject* parent, Clock* clock)
    : QObject(parent), m_clock(clock ? clock : Clock::system()), m_thread(new QThread(this)),
      m_worker(new QObject), m_state(std::make_shared<WorkerState>()) {
    QString base;
    if (baseDirectory) {
        base = *baseDirectory;
    } else {
        const QString dataLocation = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        base = dataLocation.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share/Norvane")
                                      : dataLocation + QStringLiteral("/Norvane");
    }
    m_rootDirectory = base + QStringLiteral("/screenshots");
    m_capturesDirectory = m_rootDirectory + QStringLiteral("/captures");
    m_bufferDirectory = m_rootDirectory + QStringLiteral("/buffer");
    m_recommendationsDirectory = m_rootDirectory + QStringLiteral("/recommendations");

    m_thread->setObjectName(QStringLiteral("ScreenshotDiskStore"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

quint64 ScreenshotDiskStore::bytesWritten() const {
    return m_state->bytesWritten.load();
}

ScreenshotDiskStore::~ScreenshotDiskStore() {
    // Queued behind every pending operation, so no write that a caller already started is lost.
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        m_worker, [thread] { thread->quit(); }, Qt::QueuedConnection);
    m_thread->wait();
}

QCoro::Task<> ScreenshotDiskStore::enqueue(std::function<void()> work) {
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> done = promise->future();
    promise->start();
    auto run = [promise, work = std::move(work)] {
        work();
        promise->finish();
    };
    QMetaObject::invokeMethod(m_worker, std::move(run), Qt::QueuedConnection);
    co_await done;
}

// The work of each operation is built as a named local before it is awaited: GCC 12 destroys a capturing
// lambda temporary inside an awaited expression twice.
QCoro::Task<> ScreenshotDiskStore::persistCapture(Screenshot screenshot) {
    const QString directory = m_capturesDirectory;
    std::function<void()> work = [directory, screenshot, state = m_state] {
        StepError error = ensureDirectoryExists(directory);
        if (!error) {
            state->sweepOnce(directory);
            error = writeFileAtomically(directory + QLatin1Char('/') + captureFileName(screenshot),
                                        screenshot.image, state->bytesWritten);
        }
        if (error)
            logFailure("Failed to persist capture to disk: ", *error);
    };
    co_await enqueue(std::move(work));
}

QCoro::Task<> ScreenshotDiskStore::syncBuffer(QList<Screenshot> buffer) {
    const QString directory = m_bufferDirectory;
    std::function<void()> work = [directory, buffer, state = m_state] {
        if (auto error = ensureDirectoryExists(directory)) {
            logFailure("Failed to sync screenshot buffer to disk: ", *error);
            return;
        }
        state->sweepOnce(directory);
        if (auto error = syncBufferFolder(directory, buffer, *state))
            logFailure("Failed to sync screenshot buffer to disk: ", *error);
    };
    co_await enqueue(std::move(work));
}

// Brings the folder from what it holds to `buffer` touching only what changed: a new frame is written
// once, a frame whose position changed gets its new name as a hard link to the file it already has, and
// files no longer named go last. At every moment metadata.json names only files that exist: files are
// in place before the index that names them is written, and removed only after an index that drops them.
StepError ScreenshotDiskStore::syncBufferFolder(const QString& directory, const QList<Screenshot>& buffer,
                                                WorkerState& state) {
    QHash<QUuid, QString> placedFrames;
    for (auto it = state.bufferOnDisk.cbegin(); it != state.bufferOnDisk.cend(); ++it)
        placedFrames.insert(it.value(), it.key());

    const auto pathOf = [&directory](const QString& name) { return directory + QLatin1Char('/') + name; };
    const auto place = [&](const Screenshot& screenshot, const QString& name) -> StepError {
        if (const auto source = placedFrames.find(screenshot.id); source != placedFrames.end()) {
            std::error_code error;
            fs::create_hard_link(toPath(pathOf(*source)), toPath(pathOf(name)), error);
            if (!error)
                return std::nullopt;
        }
        return writeFileAtomically(pathOf(name), screenshot.image, state.bytesWritten);
    };
    const auto writeIndex = [&](const QList<int>& indexes) {
        QJsonArray entries;
        for (const int index : indexes)
            entries.append(exportMetadata(buffer.at(index), index));
        return writeFileAtomically(pathOf(QStringLiteral("metadata.json")),
                                   prettyJson(QJsonDocument(entries)), state.bytesWritten);
    };

    // A name still taken by another frame (two captures of one window within a second can trade names)
    // is filled after the files the index drops are gone.
    QList<int> named;
    QList<int> waiting;
    QHash<QString, QUuid> wanted;
    for (int index = 0; index < buffer.size(); ++index) {
        const Screenshot& screenshot = buffer.at(index);
        const QString name = bufferFileName(screenshot, index);
        wanted.insert(name, screenshot.id);
        const auto onDisk = state.bufferOnDisk.constFind(name);
        if (onDisk != state.bufferOnDisk.cend() && *onDisk == screenshot.id &&
            QFileInfo::exists(pathOf(name))) {
            named.append(index);
        } else if (QFileInfo::exists(pathOf(name)) || QFileInfo(pathOf(name)).isSymLink()) {
            waiting.append(index);
        } else if (auto error = place(screenshot, name)) {
            return error;
        } else {
            named.append(index);
        }
    }
    if (auto error = writeIndex(named))
        return error;

    QSet<QString> keep{QStringLiteral("metadata.json")};
    for (const int index : std::as_const(named))
        keep.insert(bufferFileName(buffer.at(index), index));
    const StepError removal = removeDirectoryContents(directory, keep);
    state.bufferOnDisk.clear();
    for (const QString& name : std::as_const(keep)) {
        if (wanted.contains(name))
            state.bufferOnDisk.insert(name, wanted.value(name));
    }
    if (removal)
        return removal;
    if (waiting.isEmpty())
        return std::nullopt;

    for (const int index : std::as_const(waiting)) {
        const QString name = bufferFileName(buffer.at(index), index);
        if (auto error = place(buffer.at(index), name))
            return error;
        state.bufferOnDisk.insert(name, buffer.at(index).id);
    }
    QList<int> all(buffer.size());
    std::iota(all.begin(), all.end(), 0);
    return writeIndex(all);
}

QCoro::Task<> ScreenshotDiskStore::persistRecommendation(Recommendation recommendation,
                                                         Opportunity opportunity, QString userAnswer) {
    const QString directory = m_recommendationsDirectory;
    const QDateTime now = m_clock->now();
    std::function<void()> work = [directory, recommendation, opportunity, userAnswer, now, state = m_state] {
        StepError error = ensureDirectoryExists(directory);
        if (!error) {
            state->sweepOnce(directory);
            const QJsonObject record = recommendationRecord(recommendation, opportunity, userAnswer, now);
            error =
                writeFileAtomically(directory + QLatin1Char('/') + recommendationFileName(opportunity, now),
                                    prettyJson(QJsonDocument(record)), state->bytesWritten);
        }
        if (error)
            logFailure("Failed to persist recommendation to disk: ", *error);
    };
    co_await enqueue(std::move(work));
}

QCoro::Task<CaptureFolderSummary> ScreenshotDiskStore::pruneCaptures(QDateTime now, qint64 maxAgeSeconds,
                                                                     quint64 maxBytes) {
    std::function<CaptureFolderSummary(const QString&)> tidy = [now, maxAgeSeconds,
                                                                maxBytes](const QString& directory) {
        const CaptureFolderSummary summary =
            tidyCaptureFolder(directory, now, maxAgeSeconds, maxBytes, false);
        if (summary.removedCount > 0)
            qCInfo(lcScreenshotDiskStore, "Removed %d captures (%llu bytes) past the retention limits.",
                   summary.removedCount, summary.removedBytes);
        return summary;
    };
    const CaptureFolderSummary summary = co_await tidyCaptures(std::move(tidy));
    co_return summary;
}

QCoro::Task<CaptureFolderSummary> ScreenshotDiskStore::deleteAllCaptures(bool includingBuffer) {
    const QString buffer = m_bufferDirectory;
    std::function<CaptureFolderSummary(const QString&)> tidy = [includingBuffer, buffer,
                                                                state = m_state](const QString& directory) {
        if (includingBuffer && QFileInfo(buffer).isDir()) {
            if (auto error = syncBufferFolder(buffer, {}, *state))
                logFailure("Failed to empty the screenshot buffer on disk: ", *error);
        }
        const CaptureFolderSummary summary = tidyCaptureFolder(directory, {}, 0, 0, true);
        qCInfo(lcScreenshotDiskStore, "Deleted all %d captures (%llu bytes)%s.", summary.removedCount,
               summary.removedBytes, includingBuffer ? " and the buffer" : "");
        return summary;
    };
    const CaptureFolderSummary summary = co_await tidyCaptures(std::move(tidy));
    co_return summary;
}

QCoro::Task<CaptureFolderSummary> ScreenshotDiskStore::summarizeCaptures() {
    std::function<CaptureFolderSummary(const QString&)> tidy = [](const QString& directory) {
        return tidyCaptureFolder(directory, {}, 0, 0, false);
    };
    const CaptureFolderSummary summary = co_await tidyCaptures(std::move(tidy));
    co_return summary;
}

QCoro::Task<CaptureFolderSummary>
ScreenshotDiskStore::tidyCaptures(std::function<CaptureFolderSummary(const QString&)> tidy) {
    auto result = std::make_shared<CaptureFolderSummary>();
    const QString directory = m_capturesDirectory;
    std::function<void()> work = [directory, tidy = std::move(tidy), result] { *result = tidy(directory); };
    co_await enqueue(std::move(work));
    const CaptureFolderSummary summary = *result;
    co_return summary;
}

QString ScreenshotDiskStore::sanitizeForFileName(const QString& text) {
    QString result;
    result.reserve(text.size());
    // Decoded to code points, so a character outside the basic plane is judged (and replaced) once.
    const QList<uint> codePoints = text.toUcs4();
    for (const uint value : codePoints) {
        const char32_t codePoint = value;
        if (isAllowedInFileName(codePoint))
            result.append(QString::fromUcs4(&codePoint, 1));
        else
            result.append(QLatin1Char('_'));
    }

    qsizetype start = 0;
    qsizetype end = result.size();
    while (start < end && result.at(start) == QLatin1Char('_'))
        ++start;
    while (end > start && result.at(end - 1) == QLatin1Char('_'))
        --end;
    result = result.mid(start, end - start);
    if (result.isEmpty())
        return QStringLiteral("untitled");

    // Cut at user-perceived characters so no accent, surrogate pair or syllable is split.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, result);
    qsizetype cut = 0;
    for (int count = 0; count < kMaxFileNameCharacters; ++count) {
        const qsizetype next = graphemes.toNextBoundary();
        if (next < 0)
            return result;
        cut = next;
    }
    return result.left(cut);
}

QString ScreenshotDiskStore::captureFileName(const Screenshot& screenshot) {
    return localTimestamp(screenshot.timestamp, true) + QLatin1Char('_') +
           sanitizeForFileName(screenshot.appName) + QLatin1Char('_') +
           sanitizeForFileName(screenshot.windowTitle) + QLatin1Char('_') +
           screenshot.id.toString(QUuid::WithoutBraces).toLower() + QStringLiteral(".jpg");
}

bool ScreenshotDiskStore::isCaptureFileName(const QString& fileName) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}_\\d{3}_.+_"
                       "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.jpg$"));
    return pattern.match(fileName).hasMatch();
}

QString ScreenshotDiskStore::bufferFileName(const Screenshot& screenshot, int index) {
    return QString::asprintf("%02d", index + 1) + QLatin1Char('_') + sanitizeForFileName(screenshot.appName) +
           QLatin1Char('_') + sanitizeForFileName(screenshot.windowTitle) + QLatin1Char('_') +
           localTimestamp(screenshot.timestamp, false) + QStringLiteral(".jpg");
}

QString ScreenshotDiskStore::recommendationFileName(const Opportunity& opportunity, const QDateTime& now) {
    return localTimestamp(now, true) + QLatin1Char('_') + sanitizeForFileName(opportunity.patternId) +
           QStringLiteral(".json");
}

QString ScreenshotDiskStore::iso8601(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODate);
}

QJsonObject ScreenshotDiskStore::exportMetadata(const Screenshot& screenshot, int index) {
    QJsonObject entry;
    entry.insert(QStringLiteral("index"), index + 1);
    entry.insert(QStringLiteral("fileName"), bufferFileName(screenshot, index));
    entry.insert(QStringLiteral("appName"), screenshot.appName);
    entry.insert(QStringLiteral("windowTitle"), screenshot.windowTitle);
    if (screenshot.windowID)
        entry.insert(QStringLiteral("windowID"), qint64(*screenshot.windowID));
    entry.insert(QStringLiteral("timestamp"), iso8601(screenshot.timestamp));
    if (screenshot.captureReason)
        entry.insert(QStringLiteral("captureReason"), rawValue(*screenshot.captureReason));
    entry.insert(QStringLiteral("activityState"), rawValue(screenshot.activityState));
    if (screenshot.activityBurstID)
        entry.insert(QStringLiteral("activityBurstID"), uuidText(*screenshot.activityBurstID));
    if (screenshot.captureSignature)
        entry.insert(QStringLiteral("captureSignature"), *screenshot.captureSignature);
    if (screenshot.captureFingerprint)
        entry.insert(QStringLiteral("captureFingerprint"), *screenshot.captureFingerprint);
    return entry;
}

QJsonObject ScreenshotDiskStore::recommendationRecord(const Recommendation& recommendation,
                                                      const Opportunity& opportunity,
                                                      const QString& userAnswer, const QDateTime& now) {
    QJsonObject record;
    record.insert(QStringLiteral("timestamp"), iso8601(now));
    record.insert(QStringLiteral("patternId"), opportunity.patternId);
    record.insert(QStringLiteral("category"), rawValue(opportunity.category));
    record.insert(QStringLiteral("observation"), opportunity.observation);
    record.insert(QStringLiteral("question"), opportunity.question);
    record.insert(QStringLiteral("userAnswer"), userAnswer);
    record.insert(QStringLiteral("headline"), recommendation.headline);
    record.insert(QStringLiteral("detail"), recommendation.detail);
    if (recommendation.prompt)
        record.insert(QStringLiteral("prompt"), *recommendation.prompt);
    record.insert(QStringLiteral("effort"), recommendation.effort);
    record.insert(QStringLiteral("impact"), recommendation.impact);
    return record;
}

} // namespace norvane
