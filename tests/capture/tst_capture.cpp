#include "capture/ScreenshotDiskStore.h"
#include "capture/ScreenshotService.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <vector>

#include <time.h>

using namespace norvane;
using namespace norvane::testing;
using Store = ScreenshotDiskStore;

namespace {

const QDateTime kShotTime(QDate(2026, 12, 4), QTime(23, 45, 7, 123), Qt::UTC);

// A picture with structure: stripes, and a green block over the top-left third.
QImage pattern(int width, int height, int seed = 0) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int x = 0; x < width; x += 40)
        painter.fillRect(x, 0, 20, height, QColor((x + seed) % 256, 80, 160));
    painter.fillRect(0, 0, width / 3, height / 3, QColor(10, 200, 30));
    return image;
}

Screenshot shot(const QString& app, const QString& title, const QByteArray& bytes, int secondsLater = 0) {
    Screenshot s = makeScreenshot(app, title, 812, bytes);
    s.timestamp = kShotTime.addSecs(secondsLater);
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

int mode(const QString& path) {
    return int(std::filesystem::status(path.toStdString()).permissions() & std::filesystem::perms::mask);
}

QJsonValue json(const QByteArray& text) {
    const QJsonDocument document = QJsonDocument::fromJson(text);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

Opportunity opportunity() {
    return {QStringLiteral("repeated copy/paste"), 0.82, QStringLiteral("Copies rows one by one."),
            QStringLiteral("Are you moving the whole table?"), OpportunityCategory::MissedAutomation};
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ManualClock m_clock{QDateTime(QDate(2026, 12, 4), QTime(23, 46, 10, 42), Qt::UTC)};
    FakeWindowProvider m_provider;
    FakeImageCapture m_images;
    FakePermissionChecker m_permission;
    std::optional<ScreenshotService> m_service;

    QString base() const { return m_dir.filePath(QStringLiteral("data/Norvane")); }
    std::optional<Screenshot> capture(bool force = false) {
        return QCoro::waitFor(m_service->captureFrontmostWindow(force));
    }

private slots:
    void initTestCase() {
        // Half an hour off a whole-hour zone, so names built from UTC instead of local time show at once.
        qputenv("TZ", "XST-5:30");
        tzset();
    }
    void init() {
        m_provider.window = FrontmostWindowInfo{812, QStringLiteral("Mail"), QStringLiteral("Inbox"), false};
        m_images = FakeImageCapture();
        m_images.image = pattern(800, 600);
        m_permission.granted = true;
        m_service.emplace(&m_provider, &m_images, &m_permission, &m_clock);
    }
    void cleanup() { QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively(); }

    // MARK: the service

    // At most 1024 pixels on the longest edge, sizes truncated, never below one pixel.
    void scaledSizes() {
        const QList<std::pair<QSize, QSize>> sizes{{{3000, 1000}, {1024, 341}},
                                                   {{1000, 3000}, {341, 1024}},
                                                   {{1024, 768}, {1024, 768}},
                                                   {{600, 400}, {600, 400}},
                                                   {{5000, 2}, {1024, 1}}};
        for (const auto& [input, expected] : sizes)
            QCOMPARE(ScreenshotService::scaledSize(input, 1024.0), expected);
        const QImage decoded =
            QImage::fromData(*ScreenshotService::makeJPEGData(pattern(2880, 1800), 1024.0, 70));
        QCOMPARE(decoded.size(), QSize(1024, 640));
        const QColor green = decoded.pixelColor(100, 100); // the block stays where it was
        QVERIFY2(green.green() > 170 && green.red() < 60 && green.blue() < 80, qPrintable(green.name()));
        QVERIFY(!ScreenshotService::makeJPEGData(QImage(), 1024.0, 70)); // a null picture is no frame
    }

    // Depth-32 windows arrive premultiplied: half-transparent red is stored as (128, 0, 0, 128).
    void translucentWindowsAreCompositedOntoBlack() {
        for (const auto format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32}) {
            QImage translucent(300, 200, format);
            translucent.fill(QColor(255, 0, 0, 128));
            const QImage decoded =
                QImage::fromData(*ScreenshotService::makeJPEGData(translucent, 1024.0, 90));
            QVERIFY(!decoded.hasAlphaChannel());
            const QColor pixel = decoded.pixelColor(150, 100);
            QVERIFY2(qAbs(pixel.red() - 128) <= 8 && pixel.green() <= 8 && pixel.blue() <= 8,
                     qPrintable(pixel.name()));
        }
    }

    void capturedFrame() {
        m_images.image = pattern(2880, 1800);
        const auto s = capture();
        QCOMPARE(m_images.requestedWindows, QList<quint32>{812});
        QCOMPARE(s->image, *ScreenshotService::makeJPEGData(*m_images.image, 1024.0, 70)); // JPEG quality 70
        QCOMPARE(s->captureFingerprint,
                 QString::fromLatin1(QCryptographicHash::hash(s->image, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(ScreenshotService::makeFingerprint("abc"),
                 u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QCOMPARE(s->captureSignature, QStringLiteral("Mail|812|Inbox"));
        QCOMPARE(QStringList({s->appName, s->windowTitle}), QStringList({"Mail", "Inbox"}));
        QCOMPARE(s->windowID, 812u);
        QCOMPARE(s->timestamp, m_clock.now());
        QVERIFY(!s->captureReason && !s->activityBurstID && !s->id.isNull());
    }

    // An unchanged frame of the same window is dropped unless forced.
    void duplicateFrames() {
        LogCapture log;
        const auto first = capture();
        QVERIFY(first && !capture());
        QVERIFY(log.contains("Norvane.ScreenshotService", QtDebugMsg,
                             "Skipping duplicate frame for Mail because the image contents are unchanged"));
        QCOMPARE(capture(true)->captureFingerprint, first->captureFingerprint);
        QVERIFY(!capture());
        m_images.image = pattern(800, 600, 99); // new pixels
        QVERIFY(capture() && !capture());
        m_provider.window->windowTitle = QStringLiteral("Inbox (1)"); // same pixels, new title
        QVERIFY(capture());
        m_service->resetDeduplicationState();
        QVERIFY(capture() && !capture());
    }

    // Failures are logged and leave the last frame as the reference.
    void failedCaptures() {
        LogCapture log;
        QVERIFY(capture());
        m_images.image.reset(); // the window went away between the read and the capture
        QVERIFY(!capture());
        m_images.image = QImage(); // nothing to encode
        QVERIFY(!capture());
        QCOMPARE(
            log.messages("Norvane.ScreenshotService", QtCriticalMsg),
            (QStringList{"Failed to capture image for window 812", "Failed to create JPEG data for Mail"}));
        m_images.image = pattern(800, 600);
        QVERIFY(!capture()); // still a duplicate of the first frame
    }

    void nothingToCapture() {
        LogCapture log;
        m_permission.granted = false;
        QVERIFY(!capture(true));
        m_permission.granted = true;
        m_provider.window->isOwnApp = true; // never itself
        QVERIFY(!capture(true));
        m_provider.window.reset();
        QVERIFY(!capture(true));
        QVERIFY(m_images.requestedWindows.isEmpty());
        QVERIFY(log.messages("Norvane.ScreenshotService").isEmpty());
    }

    void serviceGoneWhileEncoding() {
        m_images.image = pattern(2880, 1800);
        auto task = m_service->captureFrontmostWindow(true); // encoding runs on a worker
        m_service.reset();
        QVERIFY(!QCoro::waitFor(std::move(task)));
    }

    // MARK: the disk store

    // Letters, marks and digits of any script, "-" and "_"; anything else becomes "_"; 48 characters at most.
    void fileNameParts() {
        const QString a48(48, u'a');
        const QList<std::pair<QString, QString>> names{
            {"Re: Q3 report (final).docx", "Re__Q3_report__final__docx"},
            {"  ", "untitled"},
            {"../etc/passwd", "etc_passwd"},
            {"__draft-v2_final__", "draft-v2_final"},
            {"Отчёт 2026 数据 ٣", "Отчёт_2026_数据_٣"},
            {"Chat 👍🏽 ok", "Chat____ok"},
            {a48 + "bcd", a48},
            {QStringLiteral("e\u0301").repeated(50), QStringLiteral("e\u0301").repeated(48)},
            {QStringLiteral("𝐀").repeated(50), QStringLiteral("𝐀").repeated(48)}};
        for (const auto& [input, expected] : names)
            QCOMPARE(Store::sanitizeForFileName(input), expected);

        Screenshot s = shot("  ", "Inbox", "jpeg");
        s.id = QUuid(QStringLiteral("{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"));
        QCOMPARE(Store::captureFileName(s),
                 "2026-12-05_05-15-07_123_untitled_Inbox_e621e1f8-c36c-495a-93fc-0c247a3e6e5f.jpg");
        QCOMPARE(Store::bufferFileName(s, 0), "01_untitled_Inbox_2026-12-05_05-15-07.jpg");
        QCOMPARE(Store::bufferFileName(s, 99), "100_untitled_Inbox_2026-12-05_05-15-07.jpg");
        QCOMPARE(Store::recommendationFileName(opportunity(), m_clock.now()),
                 "2026-12-05_05-16-10_042_repeated_copy_paste.json");

        ScreenshotDiskStore given(base());
        QCOMPARE(given.bufferDirectoryURL(), base() + "/screenshots/buffer");
        QVERIFY2(!QFileInfo::exists(base()), "the constructor creates nothing");
        QStandardPaths::setTestModeEnabled(true);
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(ScreenshotDiskStore().capturesDirectoryURL(), data + "/Norvane/screenshots/captures");
        QStandardPaths::setTestModeEnabled(false);
    }

    // Only what the store creates is made private; a file written again is replaced and private again.
    void capturesAreWrittenPrivately() {
        QVERIFY(QDir().mkpath(m_dir.filePath("data")));
        QFile::setPermissions(m_dir.filePath("data"), QFile::Permissions(0x7755));
        ScreenshotDiskStore store(base());
        Screenshot s = shot("Mail", "Inbox", "jpeg-1");
        QCoro::waitFor(store.persistCapture(s));
        const QString path = store.capturesDirectoryURL() + '/' + Store::captureFileName(s);
        QFile::setPermissions(path, QFile::Permissions(0x6644));
        s.image = "jpeg-2";
        QCoro::waitFor(store.persistCapture(s));
        QCOMPARE(listing(store.capturesDirectoryURL()), QStringList{Store::captureFileName(s)});
        QCOMPARE(readAll(path), "jpeg-2");
        QCOMPARE((QList<int>{mode(path), mode(base()), mode(store.rootDirectoryURL()),
                             mode(store.capturesDirectoryURL()), mode(m_dir.filePath("data"))}),
                 (QList<int>{0600, 0700, 0700, 0700, 0755}));
        // A write cut short by a crash may leave its temporary file behind; the next run removes it.
        QFile leftover(store.capturesDirectoryURL() + "/" + Store::captureFileName(s) + ".Ab12Cd");
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        ScreenshotDiskStore restarted(base());
        QCoro::waitFor(restarted.persistCapture(s));
        QVERIFY(!leftover.exists());
    }

    // The buffer folder holds the buffer's JPEGs, numbered from 01, and metadata.json; hidden items stay.
    void bufferMirror() {
        ScreenshotDiskStore store(base());
        QList<Screenshot> three = {shot("Mail", "Inbox", "one"), shot("Editor", "Notes", "two", 4),
                                   shot("Shell", "~/src", "three", 8)};
        three[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        three[0].activityState = MonitoringActivityState::Wake;
        three[0].activityBurstID = QUuid(QStringLiteral("{0b7e2a1c-4f3d-4c2e-9a7b-1d2e3f4a5b6c}"));
        three[2] =
            Screenshot{three[2].id, "three", "Shell", "~/src", {}, three[2].timestamp}; // nothing optional
        const QString dir = store.bufferDirectoryURL();
        QCoro::waitFor(store.syncBuffer(three));
        QVERIFY(QFile(dir + "/.keep").open(QIODevice::WriteOnly));
        QCoro::waitFor(store.syncBuffer(three));
        QCOMPARE(listing(dir), (QStringList{".keep", "01_Mail_Inbox_2026-12-05_05-15-07.jpg",
                                            "02_Editor_Notes_2026-12-05_05-15-11.jpg",
                                            "03_Shell_src_2026-12-05_05-15-15.jpg", "metadata.json"}));
        QCOMPARE(readAll(dir + "/02_Editor_Notes_2026-12-05_05-15-11.jpg"), "two");
        QCOMPARE((QList<int>{mode(dir), mode(dir + "/metadata.json"),
                             mode(dir + "/03_Shell_src_2026-12-05_05-15-15.jpg")}),
                 (QList<int>{0700, 0600, 0600}));
        QVERIFY2(readAll(dir + "/metadata.json").contains("\n    {"), "pretty-printed");
        const QJsonArray entries = json(readAll(dir + "/metadata.json")).toArray();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0],
                 json(R"({"index":1,"fileName":"01_Mail_Inbox_2026-12-05_05-15-07.jpg","appName":"Mail",)"
                      R"("windowTitle":"Inbox","windowID":812,"timestamp":"2026-12-04T23:45:07Z",)"
                      R"("captureReason":"resumed-after-idle","activityState":"wake","captureSignature":)"
                      R"("Mail|812|Inbox","activityBurstID":"0B7E2A1C-4F3D-4C2E-9A7B-1D2E3F4A5B6C",)"
                      "\"captureFingerprint\":\"" +
                      three[0].captureFingerprint->toLatin1() + "\"}"));
        QCOMPARE(entries[2],
                 json(R"({"index":3,"fileName":"03_Shell_src_2026-12-05_05-15-15.jpg","appName":"Shell",)"
                      R"("windowTitle":"~/src","timestamp":"2026-12-04T23:45:15Z","activityState":"idle"})"));
        // The next capture is written once; the frames that moved up keep their files under new numbers.
        const QList<Screenshot> shifted = three.mid(1) << shot("Web", "Docs", "four", 12);
        const quint64 before = store.bytesWritten();
        QCoro::waitFor(store.syncBuffer(shifted));
        QCOMPARE(store.bytesWritten() - before, quint64(4 + QFileInfo(dir + "/metadata.json").size()));
        const QStringList names{"01_Editor_Notes_2026-12-05_05-15-11.jpg",
                                "02_Shell_src_2026-12-05_05-15-15.jpg",
                                "03_Web_Docs_2026-12-05_05-15-19.jpg"};
        QCOMPARE(listing(dir), QStringList{".keep"} + names + QStringList{"metadata.json"});
        QCOMPARE(QList<QByteArray>({readAll(dir + "/" + names[0]), readAll(dir + "/" + names[1])}),
                 QList<QByteArray>({"two", "three"}));
        // A file of that name from before (an earlier run) gives way to the frame.
        QVERIFY(QFile::remove(dir + "/" + names[2]) &&
                QFile(dir + "/" + names[2]).open(QIODevice::WriteOnly));
        QCoro::waitFor(store.syncBuffer(shifted.mid(0, 2) << shot("Web", "Docs", "five", 12)));
        QCOMPARE(readAll(dir + "/" + names[2]), "five");
        QCOMPARE(json(readAll(dir + "/metadata.json")).toArray().size(), 3);
        QCoro::waitFor(store.syncBuffer({}));
        QCOMPARE(listing(dir), (QStringList{".keep", "metadata.json"}));
        QCOMPARE(json(readAll(dir + "/metadata.json")), QJsonValue(QJsonArray()));
    }

    void recommendationRecords() {
        ScreenshotDiskStore store(base(), nullptr, &m_clock);
        Recommendation r{"Paste the whole table", "Select the range once.", "Convert this table to CSV",
                         "low", "high"};
        QCoro::waitFor(store.persistRecommendation(r, opportunity(), QStringLiteral("  yes, all of it ")));
        r.prompt.reset();
        m_clock.advance(1.5);
        QCoro::waitFor(store.persistRecommendation(r, opportunity(), QStringLiteral("no")));
        const QString dir = store.recommendationsDirectoryURL();
        QCOMPARE(listing(dir), (QStringList{"2026-12-05_05-16-10_042_repeated_copy_paste.json",
                                            "2026-12-05_05-16-11_542_repeated_copy_paste.json"}));
        QCOMPARE(mode(dir + "/" + listing(dir)[0]), 0600);
        const QByteArray record =
            R"({"timestamp":"2026-12-04T23:46:1%1Z","patternId":"repeated copy/paste",)"
            R"("category":"missed-automation","observation":"Copies rows one by one.",)"
            R"("question":"Are you moving the whole table?","headline":"Paste the whole table",)"
            R"("detail":"Select the range once.","effort":"low","impact":"high",%2})";
        QCOMPARE(
            json(readAll(dir + "/" + listing(dir)[0])),
            json(QString::fromLatin1(record)
                     .arg("0", R"("prompt":"Convert this table to CSV","userAnswer":"  yes, all of it ")")
                     .toLatin1()));
        QCOMPARE(json(readAll(dir + "/" + listing(dir)[1])),
                 json(QString::fromLatin1(record).arg("1", R"("userAnswer":"no")").toLatin1()));
    }

    void failuresAreLoggedAndDropped() {
        const QString blocker = m_dir.filePath("data/plain-file"); // a file where a folder should be
        QVERIFY(QDir().mkpath(m_dir.filePath("data")) && QFile(blocker).open(QIODevice::WriteOnly));
        LogCapture log;
        ScreenshotDiskStore store(blocker + "/Norvane", nullptr, &m_clock);
        QCoro::waitFor(store.persistCapture(shot("Mail", "Inbox", "x")));
        QCoro::waitFor(store.syncBuffer({shot("Mail", "Inbox", "x")}));
        QCoro::waitFor(store.persistRecommendation({}, opportunity(), {}));
        const QStringList lines = log.messages("Norvane.ScreenshotDiskStore");
        QCOMPARE(lines.size(), 3);
        const QStringList prefixes = {
            "Failed to persist capture to disk: ", "Failed to sync screenshot buffer to disk: ",
            "Failed to persist recommendation to disk: "};
        for (int i = 0; i < 3; ++i)
            QVERIFY2(lines[i].startsWith(prefixes[i]) && lines[i].contains(blocker) &&
                         lines[i].contains("Not a directory"),
                     qPrintable(lines[i]));
    }

    // One operation at a time in call order, and destruction finishes what was queued.
    void operationsRunInCallOrder() {
        std::optional<ScreenshotDiskStore> store(std::in_place, base());
        std::vector<QCoro::Task<>> pending;
        for (int round = 0; round < 40; ++round) {
            QList<Screenshot> buffer{
                shot(QStringLiteral("App%1").arg(round), "W", QByteArray::number(round))};
            if (round % 2 == 0)
                buffer << shot("Other", "W", "a" + QByteArray::number(round)) << shot("Other", "X", "b");
            pending.push_back(store->syncBuffer(buffer));
            pending.push_back(store->persistCapture(buffer.first()));
        }
        for (auto& task : pending)
            QCoro::waitFor(std::move(task));
        QCOMPARE(listing(store->bufferDirectoryURL()),
                 (QStringList{"01_App39_W_2026-12-05_05-15-07.jpg", "metadata.json"}));
        const QString captures = store->capturesDirectoryURL();
        auto last =
            store->persistCapture(shot("Mail", "Inbox", "kept")); // not awaited before the store goes away
        store.reset();
        QCOMPARE(listing(captures).size(), 41);
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
