// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Fills the record of sent requests to its cap (three frames and a paragraph each, as analyses send),
// then times what opening the history window costs: the model's first page read from disk, and the
// view's first frame with that page.

#include "app/HistoryWindowManager.h"
#include "capture/SentRequestLog.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <QtQml/qqmlextensionplugin.h>

#include <qcorotask.h>

#include <algorithm>
#include <cstdio>
#include <vector>

Q_IMPORT_QML_PLUGIN(Norvane_SettingsPlugin)

using namespace norvane;

namespace {

struct NoPasteboard : PasteboardProviding {
    void copyString(const QString&) override {}
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the event loop until `done` holds.
template <typename Done> void waitUntil(Done done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    // The captures are gone, as after retention: each frame still costs a look on disk.
    SentRequestLog log(dir.filePath(QStringLiteral("sent-requests.jsonl")), nullptr, dir.path());
    const QString outcome = QStringLiteral("The same column is formatted cell by cell across all three "
                                           "screenshots.\nWhat are you preparing this spreadsheet for?");
    for (int i = 0; i < SentRequestLog::maxEntries; ++i) {
        SentRequest entry{
            QDateTime::currentDateTimeUtc().addSecs(i), SentRequestKind::analysis, {}, outcome, {}};
        for (int frame = 0; frame < 3; ++frame)
            entry.frames.append({QStringLiteral("Spreadsheet"),
                                 QStringLiteral("Budget 2027 - Sheet %1").arg(frame),
                                 QStringLiteral("2026-12-04_09-00-%1_000_x.jpg").arg(i)});
        QCoro::waitFor(log.append(entry));
    }

    NoPasteboard pasteboard;
    std::vector<double> pageTimes, frameTimes;
    for (int run = 0; run < runs; ++run) {
        HistoryWindowManager manager(&log, dir.path(), &pasteboard);
        QElapsedTimer timer;
        timer.start();
        manager.model()->reload();
        waitUntil([&] { return manager.model()->rowCount() > 0; });
        pageTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    // A window per run, as the first open of the session would be.
    for (int run = 0; run < runs; ++run) {
        HistoryWindowManager manager(&log, dir.path(), &pasteboard);
        QElapsedTimer timer;
        timer.start();
        manager.show();
        bool swapped = false;
        QObject::connect(manager.window(), &QQuickWindow::frameSwapped, [&] { swapped = true; });
        waitUntil([&] { return manager.model()->rowCount() > 0; });
        swapped = false;
        manager.window()->update();
        waitUntil([&] { return swapped; });
        frameTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("entries %d, runs %d\n", SentRequestLog::maxEntries, runs);
    std::printf("first page (%d rows) from disk: median %.1f ms\n", HistoryModel::pageSize,
                median(pageTimes));
    std::printf("window shown with the first page drawn: median %.1f ms\n", median(frameTimes));
    return 0;
}
