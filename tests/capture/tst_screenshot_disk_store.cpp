#include "capture/ScreenshotDiskStore.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

#include <filesystem>
#include <vector>

#include <time.h>

using namespace norvane;
using namespace norvane::testing;
namespace fs = std::filesystem;

namespace {

const QString kCategory = QStringLiteral("Norvane.ScreenshotDiskStore");
const QDateTime kShotTime(QDate(2026, 12, 4), QTime(23, 45, 7, 123), Qt::UTC);

Screenshot shot(const QString& app, const QString& title, const QByteArray& bytes,
                const QDateTime& when = kShotTime) {
    Screenshot s = makeScreenshot(app, title, 812, bytes);
    s.timestamp = when;
    return s;
}

QStringList listing(const QString& directory) {
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

fs::perms mode(const QString& path) {
    return fs::status(QFile::encodeName(path).toStdString()).permissions() & fs::perms::mask;
}

constexpr fs::perms kPrivateFolder = fs::perms::owner_all;
constexpr fs::perms kPrivateFile = fs::perms::owner_read | fs::perms::owner_write;

Opportunity opportunity() {
    Opportunity o;
    o.patternId = QStringLiteral("repeated copy/paste");
    o.confidence = 0.82;
    o.observation = QStringLiteral("Copies rows one by one.");
    o.question = QStringLiteral("Are you moving the whole table?");
    o.category = OpportunityCategory::MissedAutomation;
    return o;
}

} // namespace

class ScreenshotDiskStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ManualClock m_clock{QDateTime(QDate(2026, 12, 4), QTime(23, 46, 10, 42), Qt::UTC)};

    QString base() const { return m_dir.filePath(QStringLiteral("data/Norvane")); }

private slots:
    void initTestCase() {
        // Half-hour offset east of UTC, so names built from UTC instead of local time show at once.
        qputenv("TZ", "XST-5:30");
        tzset();
        QVERIFY(m_dir.isValid());
    }

    void cleanup() { QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively(); }

    void sanitize_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("punctuation runs are not collapsed")
            << QStringLiteral("Re: Q3 report (final).docx") << QStringLiteral("Re__Q3_report__final__docx");
        QTest::newRow("two spaces") << QStringLiteral("  ") << QStringLiteral("untitled");
        QTest::newRow("empty") << QString() << QStringLiteral("untitled");
        QTest::newRow("only punctuation") << QStringLiteral("(*)/:") << QStringLiteral("untitled");
        QTest::newRow("accents stay") << QStringLiteral("Café") << QStringLiteral("Café");
        QTest::newRow("combining marks stay") << QStringLiteral("Cafe\u0301") << QStringLiteral("Cafe\u0301");
        QTest::newRow("other scripts and digits stay")
            << QStringLiteral("Отчёт 2026 数据 ٣") << QStringLiteral("Отчёт_2026_数据_٣");
        QTest::newRow("dash and underscore stay, outer underscores trimmed")
            << QStringLiteral("__draft-v2_final__") << QStringLiteral("draft-v2_final");
        QTest::newRow("one underscore per emoji")
            << QStringLiteral("Chat 👍🏽 ok") << QStringLiteral("Chat____ok");
        QTest::newRow("slashes and dots") << QStringLiteral("../etc/passwd") << QStringLiteral("etc_passwd");
        QTest::newRow("newline and tab") << QStringLiteral("a\nb\tc") << QStringLiteral("a_b_c");

        const QString a48 = QString(48, QLatin1Char('a'));
        QTest::newRow("cut at 48") << a48 + QStringLiteral("bcd") << a48;
        QTest::newRow("exactly 48 kept") << a48 << a48;
        QTest::newRow("cut after trimming may end in underscore")
            << QStringLiteral("a👍").repeated(30) << QStringLiteral("a_").repeated(24);
        QTest::newRow("decomposed accents count once")
            << QStringLiteral("e\u0301").repeated(50) << QStringLiteral("e\u0301").repeated(48);
        QTest::newRow("letters outside the basic plane count once")
            << QStringLiteral("𝐀").repeated(50) << QStringLiteral("𝐀").repeated(48);
        QTest::newRow("hangul jamo syllables count once")
            << QStringLiteral("\u1100\u1161").repeated(50) << QStringLiteral("\u1100\u1161").repeated(48);
    }

    void sanitize() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(ScreenshotDiskStore::sanitizeForFileName(input), expected);
    }

    void fileNames() {
        Screenshot s = shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "jpeg");
        s.id = QUuid(QStringLiteral("{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"));
        QCOMPARE(
            ScreenshotDiskStore::captureFileName(s),
            QStringLiteral("2026-12-05_05-15-07_123_Mail_Inbox_e621e1f8-c36c-495a-93fc-0c247a3e6e5f.jpg"));
        QCOMPARE(ScreenshotDiskStore::bufferFileName(s, 0),
                 QStringLiteral("01_Mail_Inbox_2026-12-05_05-15-07.jpg"));
        QCOMPARE(ScreenshotDiskStore::bufferFileName(s, 99),
                 QStringLiteral("100_Mail_Inbox_2026-12-05_05-15-07.jpg"));

        s.appName = QStringLiteral("  ");
        s.windowTitle = QStringLiteral("Re: Q3 report (final).docx");
        QCOMPARE(ScreenshotDiskStore::bufferFileName(s, 8),
                 QStringLiteral("09_untitled_Re__Q3_report__final__docx_2026-12-05_05-15-07.jpg"));

        QCOMPARE(ScreenshotDiskStore::recommendationFileName(opportunity(), m_clock.now()),
                 QStringLiteral("2026-12-05_05-16-10_042_repeated_copy_paste.json"));
        QCOMPARE(ScreenshotDiskStore::iso8601(kShotTime), QStringLiteral("2026-12-04T23:45:07Z"));
    }

    void locations() {
        ScreenshotDiskStore given(base());
        QCOMPARE(given.capturesDirectoryURL(), base() + QStringLiteral("/screenshots/captures"));
        QCOMPARE(given.bufferDirectoryURL(), base() + QStringLiteral("/screenshots/buffer"));
        QVERIFY2(!QFileInfo::exists(base()), "the constructor creates nothing");

        QStandardPaths::setTestModeEnabled(true);
        const QString dataLocation = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        ScreenshotDiskStore byDefault;
        QStandardPaths::setTestModeEnabled(false);
        QVERIFY(!dataLocation.isEmpty());
        QCOMPARE(byDefault.capturesDirectoryURL(),
                 dataLocation + QStringLiteral("/Norvane/screenshots/captures"));
        QCOMPARE(byDefault.bufferDirectoryURL(),
                 dataLocation + QStringLiteral("/Norvane/screenshots/buffer"));
    }

    void captureIsWrittenPrivately() {
        // An existing parent keeps its permissions; only what the store creates is made private.
        QDir().mkpath(m_dir.filePath(QStringLiteral("data")));
        fs::permissions(QFile::encodeName(m_dir.filePath(QStringLiteral("data"))).toStdString(),
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);

        ScreenshotDiskStore store(base());
        const Screenshot s = shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "jpeg-bytes-1");
        QCoro::waitFor(store.persistCapture(s));

        const QString path =
            store.capturesDirectoryURL() + QLatin1Char('/') + ScreenshotDiskStore::captureFileName(s);
        QCOMPARE(readAll(path), QByteArray("jpeg-bytes-1"));
        QCOMPARE(listing(store.capturesDirectoryURL()), QStringList{ScreenshotDiskStore::captureFileName(s)});
        QCOMPARE(mode(path), kPrivateFile);
        for (const QString& folder :
             {base(), base() + QStringLiteral("/screenshots"), store.capturesDirectoryURL()})
            QCOMPARE(mode(folder), kPrivateFolder);
        QCOMPARE(mode(m_dir.filePath(QStringLiteral("data"))), fs::perms(0755));

        // Writing again under the same name replaces the file and keeps it private, even if it was not.
        fs::permissions(QFile::encodeName(path).toStdString(), fs::perms(0644));
        Screenshot again = s;
        again.image = "jpeg-bytes-2";
        QCoro::waitFor(store.persistCapture(again));
        QCOMPARE(readAll(path), QByteArray("jpeg-bytes-2"));
        QCOMPARE(mode(path), kPrivateFile);
        QCOMPARE(listing(store.capturesDirectoryURL()).size(), 1);
    }

    void bufferMirror() {
        ScreenshotDiskStore store(base());
        QList<Screenshot> three = {
            shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "one"),
            shot(QStringLiteral("Editor"), QStringLiteral("Notes"), "two", kShotTime.addSecs(4)),
            shot(QStringLiteral("Shell"), QStringLiteral("~/src"), "three", kShotTime.addSecs(8))};
        three[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        three[0].activityState = MonitoringActivityState::Wake;
        three[0].activityBurstID = QUuid(QStringLiteral("{0b7e2a1c-4f3d-4c2e-9a7b-1d2e3f4a5b6c}"));
        three[1].captureReason = ScreenshotCaptureReason::CooldownInterval;
        three[1].activityState = MonitoringActivityState::Cooldown;
        three[2].captureReason.reset();
        three[2].activityBurstID.reset();
        three[2].captureSignature.reset();
        three[2].captureFingerprint.reset();
        three[2].windowID.reset();

        QCoro::waitFor(store.syncBuffer(three));
        const QString dir = store.bufferDirectoryURL();
        QCOMPARE(listing(dir), (QStringList{QStringLiteral("01_Mail_Inbox_2026-12-05_05-15-07.jpg"),
                                            QStringLiteral("02_Editor_Notes_2026-12-05_05-15-11.jpg"),
                                            QStringLiteral("03_Shell_src_2026-12-05_05-15-15.jpg"),
                                            QStringLiteral("metadata.json")}));
        QCOMPARE(readAll(dir + QStringLiteral("/02_Editor_Notes_2026-12-05_05-15-11.jpg")),
                 QByteArray("two"));
        QCOMPARE(mode(dir), kPrivateFolder);
        for (const QString& name : listing(dir))
            QCOMPARE(mode(dir + QLatin1Char('/') + name), kPrivateFile);

        const QByteArray text = readAll(dir + QStringLiteral("/metadata.json"));
        QVERIFY2(text.contains("\n    {"), "pretty-printed");
        QVERIFY(text.indexOf("\"activityBurstID\"") < text.indexOf("\"activityState\""));
        QVERIFY(text.indexOf("\"appName\"") < text.indexOf("\"windowTitle\""));
        const QJsonArray entries = QJsonDocument::fromJson(text).array();
        QCOMPARE(entries.size(), 3);

        const QJsonObject first = entries.at(0).toObject();
        QCOMPARE(first.value(QStringLiteral("index")).toInt(), 1);
        QCOMPARE(first.value(QStringLiteral("fileName")).toString(),
                 QStringLiteral("01_Mail_Inbox_2026-12-05_05-15-07.jpg"));
        QCOMPARE(first.value(QStringLiteral("appName")).toString(), QStringLiteral("Mail"));
        QCOMPARE(first.value(QStringLiteral("windowID")).toInteger(), 812);
        QCOMPARE(first.value(QStringLiteral("timestamp")).toString(), QStringLiteral("2026-12-04T23:45:07Z"));
        QCOMPARE(first.value(QStringLiteral("captureReason")).toString(),
                 QStringLiteral("resumed-after-idle"));
        QCOMPARE(first.value(QStringLiteral("activityState")).toString(), QStringLiteral("wake"));
        QCOMPARE(first.value(QStringLiteral("activityBurstID")).toString(),
                 QStringLiteral("0B7E2A1C-4F3D-4C2E-9A7B-1D2E3F4A5B6C"));
        QCOMPARE(first.value(QStringLiteral("captureSignature")).toString(),
                 QStringLiteral("Mail|812|Inbox"));
        QCOMPARE(first.value(QStringLiteral("captureFingerprint")).toString(), *three[0].captureFingerprint);
        QCOMPARE(first.size(), 11);

        const QJsonObject second = entries.at(1).toObject();
        QCOMPARE(second.value(QStringLiteral("index")).toInt(), 2);
        QCOMPARE(second.value(QStringLiteral("captureReason")).toString(),
                 QStringLiteral("cooldown-interval"));
        QCOMPARE(second.value(QStringLiteral("activityState")).toString(), QStringLiteral("cool-down"));

        const QJsonObject third = entries.at(2).toObject();
        QCOMPARE(third.value(QStringLiteral("index")).toInt(), 3);
        QCOMPARE(third.value(QStringLiteral("windowTitle")).toString(),
                 QStringLiteral("~/src")); // unsanitized
        QCOMPARE(third.keys(), (QStringList{QStringLiteral("activityState"), QStringLiteral("appName"),
                                            QStringLiteral("fileName"), QStringLiteral("index"),
                                            QStringLiteral("timestamp"), QStringLiteral("windowTitle")}));

        // Hidden items are left alone; everything else is replaced by the next sync.
        QVERIFY(QFile(dir + QStringLiteral("/.keep")).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir).mkdir(QStringLiteral(".cache")));
        QVERIFY(QDir(dir).mkpath(QStringLiteral("stray/inner")));
        QCoro::waitFor(store.syncBuffer({three[1], three[2]}));
        QCOMPARE(listing(dir), (QStringList{QStringLiteral(".cache"), QStringLiteral(".keep"),
                                            QStringLiteral("01_Editor_Notes_2026-12-05_05-15-11.jpg"),
                                            QStringLiteral("02_Shell_src_2026-12-05_05-15-15.jpg"),
                                            QStringLiteral("metadata.json")}));
        const QJsonArray two =
            QJsonDocument::fromJson(readAll(dir + QStringLiteral("/metadata.json"))).array();
        QCOMPARE(two.size(), 2);
        QCOMPARE(two.at(0).toObject().value(QStringLiteral("fileName")).toString(),
                 QStringLiteral("01_Editor_Notes_2026-12-05_05-15-11.jpg"));

        QCoro::waitFor(store.syncBuffer({}));
        QCOMPARE(listing(dir), (QStringList{QStringLiteral(".cache"), QStringLiteral(".keep"),
                                            QStringLiteral("metadata.json")}));
        const QJsonDocument empty = QJsonDocument::fromJson(readAll(dir + QStringLiteral("/metadata.json")));
        QVERIFY(empty.isArray());
        QVERIFY(empty.array().isEmpty());
    }

    void recommendationRecord() {
        ScreenshotDiskStore store(base(), nullptr, &m_clock);
        Recommendation with{QStringLiteral("Paste the whole table"), QStringLiteral("Select the range once."),
                            QStringLiteral("Convert this table to CSV"), QStringLiteral("low"),
                            QStringLiteral("high")};
        QCoro::waitFor(store.persistRecommendation(with, opportunity(), QStringLiteral("  yes, all of it ")));

        const QString dir = store.rootDirectoryURL() + QStringLiteral("/recommendations");
        const QString name = QStringLiteral("2026-12-05_05-16-10_042_repeated_copy_paste.json");
        QCOMPARE(listing(dir), QStringList{name});
        QCOMPARE(mode(dir), kPrivateFolder);
        QCOMPARE(mode(dir + QLatin1Char('/') + name), kPrivateFile);

        const QByteArray text = readAll(dir + QLatin1Char('/') + name);
        QVERIFY(text.contains("\n    \""));
        QVERIFY(text.indexOf("\"category\"") < text.indexOf("\"detail\""));
        QVERIFY(text.indexOf("\"question\"") < text.indexOf("\"timestamp\""));
        const QJsonObject record = QJsonDocument::fromJson(text).object();
        const QJsonObject expected{
            {QStringLiteral("timestamp"), QStringLiteral("2026-12-04T23:46:10Z")},
            {QStringLiteral("patternId"), QStringLiteral("repeated copy/paste")},
            {QStringLiteral("category"), QStringLiteral("missed-automation")},
            {QStringLiteral("observation"), QStringLiteral("Copies rows one by one.")},
            {QStringLiteral("question"), QStringLiteral("Are you moving the whole table?")},
            {QStringLiteral("userAnswer"), QStringLiteral("  yes, all of it ")},
            {QStringLiteral("headline"), QStringLiteral("Paste the whole table")},
            {QStringLiteral("detail"), QStringLiteral("Select the range once.")},
            {QStringLiteral("prompt"), QStringLiteral("Convert this table to CSV")},
            {QStringLiteral("effort"), QStringLiteral("low")},
            {QStringLiteral("impact"), QStringLiteral("high")},
        };
        QCOMPARE(record, expected);

        Recommendation without = with;
        without.prompt.reset();
        m_clock.advance(1.5);
        QCoro::waitFor(store.persistRecommendation(without, opportunity(), QStringLiteral("no")));
        const QString second = QStringLiteral("2026-12-05_05-16-11_542_repeated_copy_paste.json");
        const QJsonObject noPrompt =
            QJsonDocument::fromJson(readAll(dir + QLatin1Char('/') + second)).object();
        QCOMPARE(noPrompt.size(), 10);
        QVERIFY(!noPrompt.contains(QStringLiteral("prompt")));
        QVERIFY(!readAll(dir + QLatin1Char('/') + second).contains("null"));
    }

    void failuresAreLoggedAndDropped() {
        // Tests run as root, so only a parent that is a regular file makes the writes fail.
        const QString blocker = m_dir.filePath(QStringLiteral("data/plain-file"));
        QDir().mkpath(m_dir.filePath(QStringLiteral("data")));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        LogCapture log;
        ScreenshotDiskStore store(blocker + QStringLiteral("/Norvane"), nullptr, &m_clock);
        QCoro::waitFor(store.persistCapture(shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "x")));
        QCoro::waitFor(store.syncBuffer({shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "x")}));
        QCoro::waitFor(store.persistRecommendation(Recommendation{}, opportunity(), QString()));

        const QStringList lines = log.messages(kCategory, QtCriticalMsg);
        QCOMPARE(lines.size(), 3);
        const QStringList prefixes = {QStringLiteral("Failed to persist capture to disk: "),
                                      QStringLiteral("Failed to sync screenshot buffer to disk: "),
                                      QStringLiteral("Failed to persist recommendation to disk: ")};
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(lines[i].startsWith(prefixes[i]), qPrintable(lines[i]));
            QVERIFY2(lines[i].contains(QStringLiteral("Not a directory")), qPrintable(lines[i]));
            QVERIFY2(lines[i].contains(blocker), qPrintable(lines[i]));
        }
        QCOMPARE(log.messages(kCategory).size(), 3);
        QVERIFY(QFileInfo(blocker).isFile());
    }

    void failedWriteInsideTheFolder() {
        // The folders exist but the target name is taken by a folder: the write fails, the sync stops.
        ScreenshotDiskStore store(base(), nullptr, &m_clock);
        QCoro::waitFor(store.syncBuffer({}));
        const Screenshot s = shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "x");
        QVERIFY(QDir().mkpath(store.capturesDirectoryURL() + QLatin1Char('/') +
                              ScreenshotDiskStore::captureFileName(s)));
        LogCapture log;
        QCoro::waitFor(store.persistCapture(s));
        const QStringList lines = log.messages(kCategory, QtCriticalMsg);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("Failed to persist capture to disk: ")) &&
                     lines[0].size() > 40,
                 qPrintable(lines[0]));
    }

    void operationsRunInCallOrder() {
        ScreenshotDiskStore store(base());
        std::vector<QCoro::Task<>> pending;
        QList<Screenshot> last;
        for (int round = 0; round < 40; ++round) {
            QList<Screenshot> buffer;
            for (int i = 0; i < (round % 2 ? 1 : 3); ++i)
                buffer.append(shot(QStringLiteral("App%1").arg(round), QStringLiteral("W%1").arg(i),
                                   QByteArray::number(round * 10 + i)));
            pending.push_back(store.syncBuffer(buffer));
            pending.push_back(store.persistCapture(buffer.first()));
            last = buffer;
        }
        for (auto& task : pending)
            QCoro::waitFor(std::move(task));

        QCOMPARE(listing(store.bufferDirectoryURL()),
                 (QStringList{QStringLiteral("01_App39_W0_2026-12-05_05-15-07.jpg"),
                              QStringLiteral("metadata.json")}));
        QCOMPARE(listing(store.capturesDirectoryURL()).size(), 40);
    }

    void destructionFinishesQueuedWork() {
        Screenshot s = shot(QStringLiteral("Mail"), QStringLiteral("Inbox"), "kept");
        QString path;
        {
            ScreenshotDiskStore store(base());
            path = store.capturesDirectoryURL() + QLatin1Char('/') + ScreenshotDiskStore::captureFileName(s);
            auto task = store.persistCapture(s); // not awaited before the store goes away
            Q_UNUSED(task);
        }
        QCOMPARE(readAll(path), QByteArray("kept"));
    }
};

QTEST_GUILESS_MAIN(ScreenshotDiskStoreTest)
#include "tst_screenshot_disk_store.moc"
