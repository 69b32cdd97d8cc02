// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The files Norvane keeps survive a crash at any moment: the program runs as users run it, the user
// types into another program, and the process is killed with SIGKILL at random moments while captures
// and buffer syncs are being written. After every kill the folders must still be sound, and the last
// start still answers a second launch.
#include "E2eRig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

using namespace norvane::testing;

namespace {

// What is wrong with the captures and buffer folders (empty when nothing): only complete JPEGs, and an
// index, where there is one, that parses and names only files that exist.
QStringList problems(Norvane& app) {
    QStringList found;
    for (const QString& folder : {app.data("captures"), app.data("buffer")})
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile f(file.filePath());
            const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            if (file.fileName() == "metadata.json") {
                const QJsonDocument index = QJsonDocument::fromJson(bytes);
                if (!index.isArray())
                    found << "metadata.json does not parse";
                for (const QJsonValue& entry : index.array())
                    if (!QFile::exists(folder + "/" + entry["fileName"].toString()))
                        found << "metadata.json names the missing " + entry["fileName"].toString();
            } else if (!file.fileName().endsWith(".jpg"))
                found << "stray file " + file.fileName();
            else if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9"))
                found << "torn JPEG " + file.fileName() + " of " + QString::number(bytes.size()) + " bytes";
        }
    return found;
}

} // namespace

class TestCrashConsistency : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedAtRandomMomentsLeavesSoundFiles() {
        TestWindow pad(kTypingPad);
        QVERIFY(pad.isReady());
        // A closed port on this machine: analyses fail at once and the loop goes on capturing.
        Norvane app(QUrl("http://127.0.0.1:9"));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("random seed %u", seed);
        QRandomGenerator random(seed);
        for (int cycle = 0; cycle <= 20; ++cycle) {
            if (cycle > 0)
                app.start();
            // Killed before the no-tray settings window opens and takes the focus from the pad.
            QVERIFY2(waitUntil([&] { return app.says("Monitoring started"); }, 15000), qPrintable(app.log()));
            if (cycle == 20) // the last start clears whatever an interrupted write left behind
                break;
            QVERIFY(activateWindow(pad.id()));
            const QDeadlineTimer killAt(random.bounded(300, 2500));
            for (int key = 0; !killAt.hasExpired(); ++key)
                xdotool(QString("type --delay 30 %1").arg(QChar('a' + key % 26)));
            app.kill();
            const QStringList found = problems(app);
            QVERIFY2(found.isEmpty(),
                     qPrintable(QString("after kill %1: ").arg(cycle + 1) + found.join("; ")));
        }
        // Captures were being written while the kills came, or the test proved nothing.
        QVERIFY(QDir(app.data("captures")).entryList(QDir::Files).size() >= 5);
        // A second launch hands over to the running copy, through the socket twenty crashes left behind.
        const auto [code, said] = app.launchAgain();
        QVERIFY2(code == 0 && said.contains("Norvane is already running"), said.constData());
        QVERIFY(waitUntil([&] { return app.says("Another launch of Norvane handed over"); }));
        QVERIFY(app.terminate());
        QVERIFY2(problems(app).isEmpty(), qPrintable(problems(app).join("; ")));
    }
};

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crash_consistency.moc"
