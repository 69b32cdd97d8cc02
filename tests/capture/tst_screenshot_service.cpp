#include "capture/ScreenshotService.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QTest>

#include <QCoroTask>

using namespace norvane;
using namespace norvane::testing;

namespace {

const QString kCategory = QStringLiteral("Norvane.ScreenshotService");

// A picture with structure, so scaling and encoding have something to work on.
QImage pattern(int width, int height, QImage::Format format = QImage::Format_RGB32, int seed = 0) {
    QImage image(width, height, format);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int x = 0; x < width; x += 40)
        painter.fillRect(x, 0, 20, height, QColor((x + seed) % 256, 80, 160));
    painter.fillRect(0, 0, width / 3, height / 3, QColor(10, 200, 30));
    return image;
}

QImage decode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.read();
}

} // namespace

class ScreenshotServiceTest : public QObject {
    Q_OBJECT

    // Fresh fakes for every test function.
    std::unique_ptr<FakeWindowProvider> m_providerOwner;
    std::unique_ptr<FakeImageCapture> m_captureOwner;
    std::unique_ptr<FakePermissionChecker> m_permissionOwner;
    ManualClock m_clock;
    std::unique_ptr<ScreenshotService> m_service;

    FakeWindowProvider& provider() { return *m_providerOwner; }
    FakeImageCapture& imageCapture() { return *m_captureOwner; }
    FakePermissionChecker& permission() { return *m_permissionOwner; }

    std::optional<Screenshot> capture(bool force = false) {
        return QCoro::waitFor(m_service->captureFrontmostWindow(force));
    }

private slots:
    void init() {
        m_service.reset();
        m_providerOwner = std::make_unique<FakeWindowProvider>();
        provider().window = FrontmostWindowInfo{812, QStringLiteral("Mail"), QStringLiteral("Inbox"), false};
        m_captureOwner = std::make_unique<FakeImageCapture>();
        imageCapture().image = pattern(800, 600);
        m_permissionOwner = std::make_unique<FakePermissionChecker>();
        m_service =
            std::make_unique<ScreenshotService>(&provider(), &imageCapture(), &permission(), &m_clock);
    }

    void scaledSizes_data() {
        QTest::addColumn<QSize>("input");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("retina laptop window") << QSize(2880, 1800) << QSize(1024, 640);
        QTest::newRow("wide window, height truncated") << QSize(3000, 1000) << QSize(1024, 341);
        QTest::newRow("tall window") << QSize(1000, 3000) << QSize(341, 1024);
        QTest::newRow("exactly 1024 wide is not scaled") << QSize(1024, 768) << QSize(1024, 768);
        QTest::newRow("small window unchanged") << QSize(600, 400) << QSize(600, 400);
        QTest::newRow("sliver keeps one pixel") << QSize(5000, 2) << QSize(1024, 1);
    }

    void scaledSizes() {
        QFETCH(QSize, input);
        QFETCH(QSize, expected);
        const auto jpeg = ScreenshotService::makeJPEGData(pattern(input.width(), input.height()), 1024.0, 70);
        QVERIFY(jpeg);
        QVERIFY(jpeg->startsWith("\xFF\xD8\xFF")); // JPEG start-of-image marker
        const QImage decoded = decode(*jpeg);
        QCOMPARE(decoded.size(), expected);
        QVERIFY(!decoded.hasAlphaChannel());
    }

    void encodingKeepsThePicture() {
        const auto jpeg = ScreenshotService::makeJPEGData(pattern(2880, 1800), 1024.0, 70);
        QVERIFY(jpeg);
        const QImage decoded = decode(*jpeg);
        // The green block covers the top-left third; scaling must keep it there.
        const QColor green = decoded.pixelColor(100, 100);
        QVERIFY2(green.green() > 170 && green.red() < 60 && green.blue() < 80, qPrintable(green.name()));
        QVERIFY(ScreenshotService::makeJPEGData(pattern(600, 400), 1024.0, 95)->size() >
                ScreenshotService::makeJPEGData(pattern(600, 400), 1024.0, 20)->size());
    }

    void translucentWindowsAreCompositedOntoOpaque_data() {
        QTest::addColumn<QImage::Format>("format");
        // Depth-32 windows arrive premultiplied: half-transparent red is stored as (128, 0, 0, 128).
        QTest::newRow("premultiplied") << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("straight alpha") << QImage::Format_ARGB32;
        QTest::newRow("byte-ordered alpha") << QImage::Format_RGBA8888;
    }

    void translucentWindowsAreCompositedOntoOpaque() {
        QFETCH(QImage::Format, format);
        QImage translucent(300, 200, format);
        translucent.fill(QColor(255, 0, 0, 128));
        const auto jpeg = ScreenshotService::makeJPEGData(translucent, 1024.0, 90);
        QVERIFY(jpeg);
        const QImage decoded = decode(*jpeg);
        QCOMPARE(decoded.size(), QSize(300, 200));
        QVERIFY(!decoded.hasAlphaChannel());
        const QColor pixel = decoded.pixelColor(150, 100);
        // Composited over black: dark red, not the full red of the colour channels read without alpha.
        QVERIFY2(qAbs(pixel.red() - 128) <= 8 && pixel.green() <= 8 && pixel.blue() <= 8,
                 qPrintable(pixel.name()));
    }

    void nullImageIsNotAFrame() { QVERIFY(!ScreenshotService::makeJPEGData(QImage(), 1024.0, 70)); }

    void fingerprintIsLowercaseSha256() {
        QCOMPARE(ScreenshotService::makeFingerprint("abc"),
                 QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QCOMPARE(ScreenshotService::makeFingerprint(QByteArray()),
                 QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    }

    void signature() {
        QCOMPARE(ScreenshotService::makeCaptureSignature(
                     FrontmostWindowInfo{812, QStringLiteral("Mail"), QStringLiteral("Inbox"), false}),
                 QStringLiteral("Mail|812|Inbox"));
    }

    void capturedFrameIsComplete() {
        imageCapture().image = pattern(2880, 1800);
        const QDateTime before = m_clock.now();
        const auto shot = capture();
        QVERIFY(shot);
        QCOMPARE(imageCapture().requestedWindows, QList<quint32>{812});
        QCOMPARE(shot->appName, QStringLiteral("Mail"));
        QCOMPARE(shot->windowTitle, QStringLiteral("Inbox"));
        QCOMPARE(shot->windowID, std::optional<quint32>(812));
        QCOMPARE(shot->timestamp, before);
        QCOMPARE(shot->captureSignature, std::optional(QStringLiteral("Mail|812|Inbox")));
        QCOMPARE(shot->captureFingerprint, std::optional(ScreenshotService::makeFingerprint(shot->image)));
        QCOMPARE(shot->base64, QString::fromLatin1(shot->image.toBase64()));
        QVERIFY(shot->base64.size() > 100);
        QVERIFY(!shot->base64.contains(QLatin1Char('\n')) && !shot->base64.contains(QLatin1Char('\r')));
        QCOMPARE(decode(shot->image).size(), QSize(1024, 640));
        QVERIFY(!shot->captureReason);
        QVERIFY(!shot->activityBurstID);
        QCOMPARE(shot->activityState, MonitoringActivityState::Idle);
        QVERIFY(!shot->id.isNull());

        m_clock.advance(5);
        imageCapture().image = pattern(800, 600, QImage::Format_RGB32, 7);
        const auto next = capture();
        QVERIFY(next);
        QCOMPARE(next->timestamp, before.addSecs(5));
        QVERIFY(next->id != shot->id);
    }

    void duplicateRule() {
        LogCapture log;
        const auto first = capture();
        QVERIFY(first);

        // Same window, same pixels: dropped, with the debug line.
        QVERIFY(!capture());
        QVERIFY(log.contains(
            kCategory, QtDebugMsg,
            QStringLiteral("Skipping duplicate frame for Mail because the image contents are unchanged")));

        // Forced: returned, and it stays the reference for the next unforced frame.
        const auto forced = capture(true);
        QVERIFY(forced);
        QCOMPARE(forced->captureFingerprint, first->captureFingerprint);
        QVERIFY(!capture());

        // New pixels in the same window are a new frame.
        imageCapture().image = pattern(800, 600, QImage::Format_RGB32, 99);
        const auto changed = capture();
        QVERIFY(changed);
        QVERIFY(changed->captureFingerprint != first->captureFingerprint);
        QVERIFY(!capture());

        // Same pixels after the title changed: the signature differs.
        provider().window->windowTitle = QStringLiteral("Inbox (1)");
        const auto retitled = capture();
        QVERIFY(retitled);
        QCOMPARE(retitled->captureFingerprint, changed->captureFingerprint);

        // After a reset the identical frame comes back once.
        m_service->resetDeduplicationState();
        QVERIFY(capture());
        QVERIFY(!capture());
    }

    void failedCaptureLeavesTheReference() {
        LogCapture log;
        QVERIFY(capture());
        imageCapture().image.reset(); // the window went away between the read and the capture
        QVERIFY(!capture());
        QCOMPARE(log.messages(kCategory, QtCriticalMsg),
                 QStringList{QStringLiteral("Failed to capture image for window 812")});

        // An unencodable image fails after the capture; neither failure replaces the last frame.
        imageCapture().image = QImage();
        QVERIFY(!capture());
        QVERIFY(
            log.contains(kCategory, QtCriticalMsg, QStringLiteral("Failed to create JPEG data for Mail")));

        imageCapture().image = pattern(800, 600);
        QVERIFY(!capture()); // still a duplicate of the first frame
    }

    void nothingWithoutPermission() {
        LogCapture log;
        permission().granted = false;
        QVERIFY(!capture(true));
        QCOMPARE(permission().calls, 1);
        QCOMPARE(provider().calls, 0);
        QVERIFY(imageCapture().requestedWindows.isEmpty());
        QVERIFY(log.messages(kCategory).isEmpty());
    }

    void nothingWithoutWindow() {
        LogCapture log;
        provider().window.reset();
        QVERIFY(!capture(true));
        QVERIFY(imageCapture().requestedWindows.isEmpty());
        QVERIFY(log.messages(kCategory).isEmpty());
    }

    void neverCapturesItself() {
        LogCapture log;
        provider().window->isOwnApp = true;
        QVERIFY(!capture(true));
        QVERIFY(imageCapture().requestedWindows.isEmpty());
        QVERIFY(log.messages(kCategory).isEmpty());
    }

    void frontmostWindowInfoPassesThrough() {
        QCOMPARE(m_service->frontmostWindowInfo(), provider().window);
        provider().window.reset();
        QVERIFY(!m_service->frontmostWindowInfo());
    }

    void serviceGoneWhileEncoding() {
        // Encoding runs on a worker; the service may be destroyed before it finishes.
        imageCapture().image = pattern(2880, 1800);
        auto task = m_service->captureFrontmostWindow(true);
        m_service.reset();
        QVERIFY(!QCoro::waitFor(std::move(task)));
    }
};

QTEST_GUILESS_MAIN(ScreenshotServiceTest)
#include "tst_screenshot_service.moc"
