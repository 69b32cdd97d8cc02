// The files Norvane keeps survive a crash at any moment: the program runs as users run it, the user
// types into another program, and the process is killed with SIGKILL at random moments while captures
// and buffer syncs are being written. After every kill the folders must still be sound.
#include "E2eRig.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

using namespace norvane::testing;

namespace {

// What is wrong with one folder of JPEGs (empty when nothing): every file complete, and in the buffer
// folder an index that parses and names only files that exist.
QStringList problems(const QString& folder, bool withIndex) {
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        if (file.fileName() == "metadata.json")
            continue;
        QFile jpeg(file.filePath());
        const QByteArray bytes = jpeg.open(QIODevice::ReadOnly) ? jpeg.readAll() : QByteArray();
        if (!file.fileName().endsWith(".jpg"))
            found << "stray file " + file.fileName();
        else if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9"))
            found << "torn JPEG " + file.fileName() + " of " + QString::number(bytes.size()) + " bytes";
    }
    QFile index(folder + "/metadata.json");
    if (!withIndex || !index.exists())
        return found;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(index.open(QIODevice::ReadOnly) ? index.readAll() : "", &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return found << "metadata.json does not parse: " + error.errorString();
    for (const QJsonValue& entry : document.array()) {
        if (!QFile::exists(folder + "/" + entry["fileName"].toString()))
            found << "metadata.json names the missing " + entry["fileName"].toString();
    }
    return found;
}

} // namespace

class TestCrashConsistency : public QObject {
    Q_OBJECT

private slots:
    void killedAtRandomMomentsLeavesSoundFiles() {
        TypingPad pad;
        QVERIFY2(pad.id(), "the typing pad did not open");
        // A closed port on this machine: analyses fail at once and the loop goes on capturing.
        Norvane app("crash", QUrl("http://127.0.0.1:9"));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("random seed %u", seed);
        QRandomGenerator random(seed);
        int cycles = 0;
        for (; cycles < 20; ++cycles) {
            if (cycles > 0)
                app.start();
            // Killed before the no-tray settings window opens and takes the focus from the pad.
            QVERIFY2(waitUntil([&] { return app.says("Monitoring started"); }, 15000), qPrintable(app.log()));
            QVERIFY(pad.activate());
            QDeadlineTimer killAt(random.bounded(300, 2500));
            for (int key = 0; !killAt.hasExpired(); ++key)
                runTool("xdotool", {"type", "--delay", "30", QString(QChar('a' + key % 26))});
            app.kill();
            const QStringList found =
                problems(app.data("captures"), false) + problems(app.data("buffer"), true);
            QVERIFY2(found.isEmpty(),
                     qPrintable(QString("after kill %1: ").arg(cycles + 1) + found.join("; ")));
        }
        // Captures were being written while the kills came, or the test proved nothing.
        QVERIFY(QDir(app.data("captures")).entryList(QDir::Files).size() >= 5);

        // The next start clears whatever an interrupted write left behind.
        app.start();
        QVERIFY(waitUntil([&] { return app.says("Monitoring started"); }, 15000));
        QVERIFY(app.terminate());
        for (const QString folder : {"captures", "buffer"}) {
            const QStringList left = QDir(app.data(folder)).entryList(QDir::Files | QDir::Hidden);
            for (const QString& name : left)
                QVERIFY2(name.endsWith(".jpg") || name == "metadata.json", qPrintable(folder + "/" + name));
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crash_consistency.moc"
