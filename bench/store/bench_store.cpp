// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Drives the screenshot store the way the monitoring loop does (each capture is written, then the
// ten-frame buffer is mirrored) and reports, per capture, the bytes written against the bytes kept:
// the JPEG in captures/, its copy in buffer/ and the buffer's metadata.json.

#include "capture/ScreenshotDiskStore.h"
#include "monitoring/MonitoringRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUuid>

#include <qcorotask.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace norvane;

namespace {

constexpr qsizetype kJpegBytes = 110 * 1024; // a typical 1024 px frame at quality 70

Screenshot frame(int number, QRandomGenerator& random) {
    Screenshot screenshot;
    screenshot.id = QUuid::createUuid();
    screenshot.image.resize(kJpegBytes);
    for (char& byte : screenshot.image)
        byte = char(random.bounded(256));
    screenshot.appName = QStringLiteral("Editor");
    screenshot.windowTitle = QStringLiteral("notes-%1.txt").arg(number % 3);
    screenshot.windowID = 4242;
    screenshot.timestamp = QDateTime::currentDateTimeUtc().addSecs(4 * number);
    screenshot.activityState = MonitoringActivityState::Active;
    screenshot.captureReason = ScreenshotCaptureReason::ActiveInterval;
    return screenshot;
}

// The bytes the process has handed to write(2) so far.
quint64 writtenByProcess() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toULongLong();
    }
    return 0;
}

// The obvious alternative: every sync writes every buffered frame again.
void rewriteAll(const QString& directory, const QList<Screenshot>& buffer) {
    QDir(directory).removeRecursively();
    QDir().mkpath(directory);
    QJsonArray entries;
    for (int index = 0; index < buffer.size(); ++index) {
        QSaveFile file(directory + QLatin1Char('/') + ScreenshotDiskStore::bufferFileName(buffer[index], index));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(buffer[index].image);
            file.commit();
        }
        entries.append(ScreenshotDiskStore::exportMetadata(buffer[index], index));
    }
    QSaveFile metadata(directory + QStringLiteral("/metadata.json"));
    if (metadata.open(QIODevice::WriteOnly)) {
        metadata.write(QJsonDocument(entries).toJson(QJsonDocument::Indented));
        metadata.commit();
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int captures = argc > 1 ? std::max(20, atoi(argv[1])) : 200;
    QTemporaryDir root;
    ScreenshotDiskStore store(root.path());
    QRandomGenerator random(7);

    QList<Screenshot> buffer;
    std::vector<double> storeMs;
    std::vector<double> rewriteMs;
    quint64 storeBytes = 0;
    quint64 rewriteBytes = 0;
    qint64 metadataBytes = 0;
    const QString metadataPath = store.bufferDirectoryURL() + QStringLiteral("/metadata.json");
    const QString rewriteDirectory = root.path() + QStringLiteral("/rewrite");

    for (int number = 0; number < captures; ++number) {
        const Screenshot screenshot = frame(number, random);
        buffer.append(screenshot);
        while (buffer.size() > monitoring::screenshotBufferLimit)
            buffer.removeAt(monitoring::bufferEvictionIndex(buffer));

        quint64 before = writtenByProcess();
        QElapsedTimer timer;
        timer.start();
        QCoro::waitFor(store.persistCapture(screenshot));
        QCoro::waitFor(store.syncBuffer(buffer));
        storeMs.push_back(timer.nsecsElapsed() / 1e6);
        storeBytes += writtenByProcess() - before;
        metadataBytes += QFileInfo(metadataPath).size();

        before = writtenByProcess();
        timer.restart();
        rewriteAll(rewriteDirectory, buffer);
        rewriteMs.push_back(timer.nsecsElapsed() / 1e6);
        rewriteBytes += writtenByProcess() - before;
    }

    // What a capture must leave on disk: its JPEG twice (captures/ and buffer/) and the new index.
    const double kept = 2.0 * kJpegBytes + double(metadataBytes) / captures;
    const double perCapture = double(storeBytes) / captures;
    const double rewritePerCapture = double(rewriteBytes) / captures + kJpegBytes; // plus captures/
    std::printf("captures: %d, JPEG %lld bytes, metadata.json %.0f bytes on average\n", captures,
                qint64(kJpegBytes), double(metadataBytes) / captures);
    std::printf("store:        %9.0f bytes written per capture, %.2fx the bytes kept, %.2f ms median\n",
                perCapture, perCapture / kept, median(storeMs));
    std::printf("full rewrite: %9.0f bytes written per capture, %.2fx the bytes kept, %.2f ms median\n",
                rewritePerCapture, rewritePerCapture / kept, median(rewriteMs));
    std::printf("counted by the store: %.0f bytes per capture\n", double(store.bytesWritten()) / captures);
    return 0;
}
