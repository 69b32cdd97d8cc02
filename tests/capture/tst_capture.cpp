// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "capture/ScreenshotDiskStore.h"
#include "capture/ScreenshotService.h"
#include "capture/SentRequestLog.h"
#include "capture/WindowChoice.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using namespace norvane;
using namespace norvane::testing;
using Store = ScreenshotDiskStore;

Q_DECLARE_METATYPE(norvane::WindowSnapshot)
Q_DECLARE_METATYPE(norvane::FrontmostWindowInfo)

namespace {

const QDateTime kShotTime(QDate(2026, 12, 4), QTime(23, 45, 7, 123), Qt::UTC);
constexpr qint64 kOwnPid = 1000, kPid = 2000;

// A flat picture; a different seed gives different pixels.
QImage picture(int width, int height, int seed = 0) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(seed, 80, 160));
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

QJsonDocument json(const QByteArray& text) {
    return QJsonDocument::fromJson(text);
}

// The buffer folder's index: every file it names must exist, at every moment a crash could stop us.
QStringList indexedFiles(const QString& dir) {
    QStringList names;
    for (const QJsonValue entry : json(readAll(dir + "/metadata.json")).array()) {
        const QString name = entry["fileName"].toString();
        names << (QFile::exists(dir + "/" + name) ? name : "missing " + name);
    }
    return names;
}

FrontmostApplication app(std::optional<QString> name = QStringLiteral("Editor"),
                         std::optional<QString> bundle = QStringLiteral("org.example.editor"),
                         qint64 pid = kPid) {
    return {pid, std::move(name), std::move(bundle)};
}

WindowListEntry entry(std::optional<quint32> number, std::optional<qint64> owner = kPid,
                      std::optional<QString> name = std::nullopt, std::optional<int> layer = 0,
                      std::optional<double> alpha = 1.0) {
    return {number, owner, layer, alpha, std::move(name)};
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

private Q_SLOTS:
    void initTestCase() {
        // Half an hour off a whole-hour zone, so names built from UTC instead of local time show at once.
        qputenv("TZ", "XST-5:30");
        tzset();
    }
    void init() {
        m_provider.window = FrontmostWindowInfo{812, QStringLiteral("Mail"), QStringLiteral("Inbox"), false};
        m_images = FakeImageCapture();
        m_images.image = picture(800, 600);
        m_service.emplace(&m_provider, &m_images, &m_permission, &m_clock);
    }
    void cleanup() { QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively(); }

    // MARK: choosing the window

    // The expected result reads "window number|app|title|own", or "" for nothing.
    void windowChoice_data() {
        QTest::addColumn<WindowSnapshot>("snapshot");
        QTest::addColumn<QString>("expected");
        const QList<WindowListEntry> mixed = {entry(10, 3000, "Other app"), entry(11, kPid, "Menu", 25),
                                              entry(12, kPid, "Invisible", 0, 0.0), entry(13, kPid, "Draft"),
                                              entry(14, kPid, "Behind")};
        const auto row = [](const char* name, std::optional<FrontmostApplication> a, QList<WindowListEntry> w,
                            const char* expected, std::optional<FocusedWindowInfo> focused = {}) {
            QTest::newRow(name) << WindowSnapshot{a, w, focused} << QString(expected);
        };
        row("first normal visible window", app(), mixed, "13|Editor|Draft|0");
        row("focused title, trimmed", app(), mixed, "13|Editor|Chapter 2|0", {{{}, " Chapter 2 \n"}});
        row("focused number: any owner, layer, alpha", app(), mixed, "12|Editor|Invisible|0", {{12, {}}});
        row("focused number not listed: no guess", app(), mixed, "", {{99, "Elsewhere"}});
        row("chosen window unnumbered: no fallback", app(), {entry({}), entry(31)}, "");
        row("no owner, layer, alpha", app(), {entry(20, {}), entry(21, kPid, "D", {}, {})}, "21|Editor|D|0");
        row("blank titles", app(), {entry(41, kPid, "\t\n")}, "41|Editor|Untitled Window|0");
        row("bundle only", app({}), {entry(50)}, "50|org.example.editor|Untitled Window|0");
        row("no names", app({}, {}), {entry(51)}, "51|Unknown App|Untitled Window|0");
        row("own process", app("Me", {}, kOwnPid), {entry(60, kOwnPid)}, "60|Me|Untitled Window|1");
        row("own name", app("Norvane"), {entry(61)}, "61|Norvane|Untitled Window|1");
    }
    void windowChoice() {
        QFETCH(WindowSnapshot, snapshot);
        QString chosen;
        if (const auto c = chooseFrontmostWindow(snapshot, kOwnPid))
            chosen = QString("%1|%2|%3|%4").arg(c->windowID).arg(c->appName, c->windowTitle).arg(c->isOwnApp);
        QTEST(chosen, "expected");
    }

    // MARK: the service

    // A JPEG of quality 70, at most 1024 pixels on the longest edge, never below one pixel.
    void capturedFrame() {
        QCOMPARE(ScreenshotService::scaledSize({5000, 2}, 1024.0), QSize(1024, 1));
        m_images.image = picture(2880, 1800);
        const auto s = capture();
        QCOMPARE(m_images.requestedWindows, QList<quint32>{812});
        QCOMPARE(s->image, *ScreenshotService::makeJPEGData(*m_images.image, 1024.0, 70));
        QCOMPARE(QImage::fromData(s->image).size(), QSize(1024, 640));
        QCOMPARE((QStringList{s->appName, s->windowTitle, *s->captureSignature}),
                 (QStringList{"Mail", "Inbox", "Mail|812|Inbox"}));
        QVERIFY(s->windowID == 812u && s->timestamp == m_clock.now() && !s->captureReason && !s->id.isNull());
    }

    // An unchanged frame of the same window is dropped unless forced.
    void duplicateFrames() {
        const auto first = capture();
        QVERIFY(first && !capture());
        QCOMPARE(capture(true)->captureFingerprint, first->captureFingerprint);
        QVERIFY(!capture());
        m_images.image = picture(800, 600, 99); // new pixels
        QVERIFY(capture() && !capture());
        m_provider.window->windowTitle = QStringLiteral("Inbox (1)"); // same pixels, new title
        QVERIFY(capture());
    }

    // No permission, our own window or none, or a failed capture or encoding: nothing.
    void noFrame() {
        m_permission.granted = false;
        QVERIFY(!capture(true));
        m_permission.granted = true;
        m_provider.window->isOwnApp = true; // never itself
        QVERIFY(!capture(true) && m_images.requestedWindows.isEmpty());
        m_provider.window->isOwnApp = false;
        m_images.image.reset(); // the window went away between the read and the capture
        QVERIFY(!capture());
        m_images.image = QImage(); // nothing to encode
        QVERIFY(!capture());
    }

    // Excluded windows are decided on names and title alone: not one pixel is read. Application names
    // match whole (any case) against the name, the class names and the process name; titles by substring.
    void exclusions_data() {
        QTest::addColumn<FrontmostWindowInfo>("window");
        QTest::addColumn<bool>("captured");
        const auto row = [](const char* name, const char* app, QStringList classes, const char* title,
                            bool captured) {
            QTest::newRow(name) << FrontmostWindowInfo{3, app, title, false, classes} << captured;
        };
        row("application name, any case", "keepassxc", {}, "Vault", false);
        row("class instance", "Electron", {"bitwarden", "Electron"}, "Vault", false);
        row("process name", "Unknown App", {"", "", "1password"}, "Vault", false);
        row("private window", "firefox", {}, "Bank - Mozilla Firefox Private Browsing", false);
        row("incognito, any case", "Chrome", {}, "New Tab - Google Chrome (incognito)", false);
        row("a name containing an excluded one", "KeePass Notes", {"keepass-notes"}, "Vault", true);
        row("anything else", "Mail", {"mail"}, "Inbox", true);
    }
    void exclusions() {
        QFETCH(FrontmostWindowInfo, window);
        QFETCH(bool, captured);
        QSettings settings(m_dir.filePath(QStringLiteral("exclusions.ini")), QSettings::IniFormat);
        AppState state(&settings, nullptr, &m_clock);
        m_service->setExclusionSource(&state);
        m_provider.window = window;
        LogCapture log;
        QCOMPARE(capture(true).has_value(), captured);
        QCOMPARE(m_images.requestedWindows.size(), captured ? 1 : 0);
        const QStringList said = log.messages(QStringLiteral("Norvane.ScreenshotService"));
        QCOMPARE(said.size(), captured ? 0 : 1);
        QVERIFY(!said.join(' ').contains(window.windowTitle));
    }

    void serviceGoneWhileEncoding() {
        m_images.image = picture(2880, 1800);
        auto task = m_service->captureFrontmostWindow(true); // encoding runs on a worker
        m_service.reset();
        QVERIFY(!QCoro::waitFor(std::move(task)));
    }

    // MARK: the disk store

    // Letters, marks and digits of any script, "-" and "_"; anything else becomes "_"; 48 characters at most.
    void fileNames() {
        const QString a48(48, u'a');
        // clang-format off
        const QList<std::pair<QString, QString>> names{
            {"Re: Q3 report (final).docx", "Re__Q3_report__final__docx"}, {"  ", "untitled"},
            {"../etc/passwd", "etc_passwd"}, {"__draft-v2_final__", "draft-v2_final"},
            {"Отчёт 2026 数据 ٣", "Отчёт_2026_数据_٣"}, {"Chat 👍🏽 ok", "Chat____ok"}, {a48 + "bcd", a48},
            {QString("e\u0301").repeated(50), QString("e\u0301").repeated(48)},
            {QString("𝐀").repeated(50), QString("𝐀").repeated(48)}};
        // clang-format on
        for (const auto& [input, expected] : names)
            QCOMPARE(Store::sanitizeForFileName(input), expected);
        Screenshot s = shot("  ", "Inbox", "jpeg");
        s.id = QUuid(QStringLiteral("{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"));
        QCOMPARE(Store::captureFileName(s),
                 "2026-12-05_05-15-07_123_untitled_Inbox_e621e1f8-c36c-495a-93fc-0c247a3e6e5f.jpg");
        QCOMPARE(Store::bufferFileName(s, 99), "100_untitled_Inbox_2026-12-05_05-15-07.jpg");
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
        QCOMPARE((QList<int>{mode(path), mode(base()), mode(store.capturesDirectoryURL()),
                             mode(m_dir.filePath("data"))}),
                 (QList<int>{0600, 0700, 0700, 0755}));
        // A write cut short by a crash may leave its temporary file behind; the next run removes it.
        QFile leftover(path + ".Ab12Cd");
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        QCoro::waitFor(ScreenshotDiskStore(base()).persistCapture(s));
        QVERIFY(!leftover.exists());
    }

    // The buffer folder holds the buffer's JPEGs, numbered from 01, and metadata.json.
    void bufferMirror() {
        ScreenshotDiskStore store(base());
        QList<Screenshot> three = {shot("Mail", "Inbox", "one"), shot("Editor", "Notes", "two", 4),
                                   shot("Shell", "~/src", "three", 8)};
        three[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        three[0].activityState = MonitoringActivityState::Wake;
        three[0].activityBurstID = QUuid(QStringLiteral("{0b7e2a1c-4f3d-4c2e-9a7b-1d2e3f4a5b6c}"));
        const QString dir = store.bufferDirectoryURL();
        QCoro::waitFor(store.syncBuffer(three));
        const QStringList names{"01_Mail_Inbox_2026-12-05_05-15-07.jpg",
                                "02_Editor_Notes_2026-12-05_05-15-11.jpg",
                                "03_Shell_src_2026-12-05_05-15-15.jpg"};
        QCOMPARE(listing(dir), names + QStringList{"metadata.json"});
        QCOMPARE(indexedFiles(dir), names);
        QCOMPARE(json(readAll(dir + "/metadata.json"))[0].toObject(),
                 json(R"({"index":1,"fileName":"01_Mail_Inbox_2026-12-05_05-15-07.jpg","appName":"Mail",)"
                      R"("windowTitle":"Inbox","windowID":812,"timestamp":"2026-12-04T23:45:07Z",)"
                      R"("captureReason":"resumed-after-idle","activityState":"wake","captureSignature":)"
                      R"("Mail|812|Inbox","activityBurstID":"0B7E2A1C-4F3D-4C2E-9A7B-1D2E3F4A5B6C",)"
                      "\"captureFingerprint\":\"" +
                      three[0].captureFingerprint->toLatin1() + "\"}")
                     .object());
        // The next capture is written once; the frames that moved up keep their files under new numbers.
        const QList<Screenshot> shifted = three.mid(1) << shot("Web", "Docs", "four", 12);
        const quint64 before = store.bytesWritten();
        QCoro::waitFor(store.syncBuffer(shifted));
        QCOMPARE(store.bytesWritten() - before, quint64(4 + QFileInfo(dir + "/metadata.json").size()));
        const QStringList moved{"01_Editor_Notes_2026-12-05_05-15-11.jpg",
                                "02_Shell_src_2026-12-05_05-15-15.jpg",
                                "03_Web_Docs_2026-12-05_05-15-19.jpg"};
        QCOMPARE(listing(dir), moved + QStringList{"metadata.json"});
        QCOMPARE(indexedFiles(dir), moved);
        QCoro::waitFor(store.syncBuffer({}));
        QCOMPARE(listing(dir), QStringList{"metadata.json"});
        QCOMPARE(indexedFiles(dir), QStringList());
    }

    // Oldest first (by time written, not by name), by age and then by size; a capture exactly at a limit
    // stays. Only the store's own files count: a foreign file, a link named like a capture and what it
    // points to, the buffer and the records are never touched.
    void retention_data() {
        QTest::addColumn<qint64>("maxAge");
        QTest::addColumn<quint64>("maxBytes");
        QTest::addColumn<int>("kept"); // the newest this many of the five stay
        QTest::newRow("no limits") << qint64(0) << quint64(0) << 5;
        QTest::newRow("7 days, one exactly that old") << qint64(7 * 86400) << quint64(0) << 4;
        QTest::newRow("300 bytes, exactly that much") << qint64(0) << quint64(300) << 3;
        QTest::newRow("299 bytes") << qint64(0) << quint64(299) << 2;
        QTest::newRow("age, then size") << qint64(2 * 86400) << quint64(100) << 1;
    }
    void retention() {
        QFETCH(qint64, maxAge);
        QFETCH(quint64, maxBytes);
        QFETCH(int, kept);
        ScreenshotDiskStore store(base(), nullptr, &m_clock);
        const auto setAge = [&](const QString& path, double days) {
            QFile file(path);
            return file.open(QIODevice::Append) &&
                   file.setFileTime(m_clock.now().addMSecs(qint64(-days * 86400000)),
                                    QFileDevice::FileModificationTime);
        };
        QStringList names; // oldest first; their names sort the other way
        for (const double days : {10.0, 7.0, 3.0, 1.0, 0.0}) {
            const Screenshot s = shot("Mail", "Inbox", QByteArray(100, 'j'), int(days));
            QCoro::waitFor(store.persistCapture(s));
            names << Store::captureFileName(s);
            QVERIFY(setAge(store.capturesDirectoryURL() + '/' + names.last(), days));
        }
        const QString dir = store.capturesDirectoryURL(), outside = m_dir.filePath("data/outside.jpg");
        const QString link = "2026-01-01_00-00-00_000_A_B_0b7e2a1c-4f3d-4c2e-9a7b-1d2e3f4a5b6c.jpg";
        QVERIFY(QFile(outside).open(QIODevice::WriteOnly) && setAge(outside, 30));
        QVERIFY(QFile::link(outside, dir + '/' + link));
        QVERIFY(QFile(dir + "/notes.txt").open(QIODevice::WriteOnly) && setAge(dir + "/notes.txt", 30));
        QCoro::waitFor(store.syncBuffer({shot("Web", "Docs", "b")}));
        QCoro::waitFor(store.persistRecommendation({"H", "D", {}, "low", "high"}, {"p"}, "a"));
        const QStringList buffer = listing(store.bufferDirectoryURL());
        const QStringList records = listing(store.recommendationsDirectoryURL());

        const CaptureFolderSummary summary =
            QCoro::waitFor(store.pruneCaptures(m_clock.now(), maxAge, maxBytes));
        QStringList expected = names.mid(5 - kept) << link << "notes.txt";
        expected.sort();
        QCOMPARE(listing(dir), expected);
        QCOMPARE((QList<quint64>{quint64(summary.count), summary.bytes, quint64(summary.removedCount)}),
                 (QList<quint64>{quint64(kept), quint64(100 * kept), quint64(5 - kept)}));
        QVERIFY(QFile::exists(outside));
        QCOMPARE(listing(store.bufferDirectoryURL()), buffer);
        QCOMPARE(listing(store.recommendationsDirectoryURL()), records);
    }

    void recommendationRecords() {
        const Opportunity o{"repeated copy/paste", 0.82, "Copies rows.", "All rows?",
                            OpportunityCategory::Stuck};
        QCoro::waitFor(ScreenshotDiskStore(base(), nullptr, &m_clock)
                           .persistRecommendation({"H", "D", {}, "low", "high"}, o, " yes "));
        const QString path =
            base() + "/screenshots/recommendations/2026-12-05_05-16-10_042_repeated_copy_paste.json";
        QCOMPARE(
            json(readAll(path)),
            json(
                R"({"timestamp":"2026-12-04T23:46:10Z","patternId":"repeated copy/paste","category":"stuck",)"
                R"("observation":"Copies rows.","question":"All rows?","headline":"H","detail":"D",)"
                R"("effort":"low","impact":"high","userAnswer":" yes "})"));
    }

    // MARK: the record of sent requests

    // One private JSON line per request, names and texts only, newest read first. A line torn by a crash
    // is skipped, and the next entry starts on a line of its own.
    void sentRequestsAreRecordedPrivately() {
        const QString path = base() + "/sent-requests.jsonl";
        QVERIFY(QDir().mkpath(base()));
        QFile torn(path);
        QVERIFY(torn.open(QIODevice::WriteOnly));
        torn.write(
            "{\"time\":\"2026-12-04T23:00:00Z\",\"kind\":\"analysis\",\"outcome\":\"Old.\"}\n{\"time\":\"20");
        torn.close();
        QFile::setPermissions(path, QFile::Permissions(0x6644));
        const Screenshot s = shot("Mail", "Inbox", "PIXELS-PIXELS");
        SentRequestLog log(path, &m_clock);
        log.recordSentRequest(SentRequestKind::analysis, {s, s}, "Gemini chose not to interrupt.", {},
                              "Gemini");
        log.recordSentRequest(SentRequestKind::recommendation, {s}, "Use a macro.", "Write a macro.",
                              "a model on this computer");
        const SentRequestPage page = QCoro::waitFor(log.readSentRequests(0, 50));
        QCOMPARE(page.total, 3);
        QStringList seen;
        for (const SentRequest& entry : page.entries)
            seen << entry.kind + ": " + entry.outcome + " " + entry.prompt.value_or("-") + " @" +
                        entry.destination;
        // Gemini, where every entry before there was a choice went, is stored as none.
        QCOMPARE(seen, (QStringList{"recommendation: Use a macro. Write a macro. @a model on this computer",
                                    "analysis: Gemini chose not to interrupt. - @", "analysis: Old. - @"}));
        QCOMPARE(page.entries[1].time, m_clock.now());
        QCOMPARE(page.entries[1].frames,
                 QList<SentFrame>(2, SentFrame{"Mail", "Inbox", Store::captureFileName(s)}));
        QCOMPARE(QCoro::waitFor(log.readSentRequests(2, 5)).entries.value(0).outcome, "Old.");
        const QByteArray contents = readAll(path);
        QVERIFY(!contents.contains("PIXELS") && !contents.contains(QByteArray("PIXELS-PIXELS").toBase64()));
        QCOMPARE(mode(path), 0600);
    }

    // The file keeps the newest thousand entries once it has grown past them; torn lines do not count.
    void sentRequestsAreCapped() {
        const QString path = base() + "/sent-requests.jsonl";
        QVERIFY(QDir().mkpath(base()));
        QFile seeded(path);
        QVERIFY(seeded.open(QIODevice::WriteOnly));
        const auto line = [](int number) {
            const SentRequest entry{kShotTime, SentRequestKind::analysis, {}, QString::number(number), {}};
            return QJsonDocument(SentRequestLog::toJson(entry)).toJson(QJsonDocument::Compact) + '\n';
        };
        for (int number = 0; number < 1100; ++number)
            seeded.write(line(number));
        seeded.write("{\"time\":\"20"); // cut short by a crash
        seeded.close();
        SentRequestLog log(path, &m_clock);
        QVERIFY(QCoro::waitFor(log.append({kShotTime, SentRequestKind::analysis, {}, "1100", {}})));
        QCOMPARE(readAll(path).count('\n'), 1000);
        const SentRequestPage oldest = QCoro::waitFor(log.readSentRequests(999, 5));
        QCOMPARE(oldest.total, 1000);
        QCOMPARE(oldest.entries.value(0).outcome, "101");
        QCOMPARE(QCoro::waitFor(log.readSentRequests(0, 1)).entries.value(0).outcome, "1100");
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
