#include "X11TestSupport.h"
#include "capture/ScreenshotService.h"
#include "fakes/LogCapture.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemScreenRecordingPermissionChecker.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/X11Connection.h"

#include <QCoroTask>
#include <QRegularExpression>
#include <QTest>

#include <xcb/xcb.h>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(norvane::SystemWindowImageCapture::Stage)

namespace {

bool near(QRgb actual, QRgb expected, int tolerance = 6) {
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

// The helper's --quadrants picture: red, green / blue, white. Each quadrant is probed at its outer corner
// and next to the centre; JPEG blurs the borders, so its probes keep `inset` pixels away from them.
bool hasQuadrants(const QImage& image, int tolerance = 0, int inset = 0) {
    const int w = image.width(), h = image.height(), i = inset;
    const QRgb colours[2][2] = {{qRgb(255, 0, 0), qRgb(0, 255, 0)}, {qRgb(0, 0, 255), qRgb(255, 255, 255)}};
    for (int right = 0; right < 2; ++right) {
        for (int bottom = 0; bottom < 2; ++bottom) {
            const QPoint corner(right ? w - 1 - i : i, bottom ? h - 1 - i : i);
            const QPoint centre(right ? w / 2 + i : w / 2 - 1 - i, bottom ? h / 2 + i : h / 2 - 1 - i);
            for (const QPoint& point : {corner, centre}) {
                if (!near(image.pixel(point), colours[bottom][right], tolerance)) {
                    qWarning() << "pixel" << point << Qt::hex << image.pixel(point);
                    return false;
                }
            }
        }
    }
    return true;
}

// A plain connection of the test's own, to do things to other clients' windows.
class Meddler {
public:
    Meddler() : m_c(xcb_connect(nullptr, nullptr)) {}
    ~Meddler() { xcb_disconnect(m_c); }
    void destroy(quint32 window) {
        xcb_destroy_window(m_c, window);
        sync();
    }
    void unmap(quint32 window) {
        xcb_unmap_window(m_c, window);
        sync();
    }

private:
    void sync() { free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }
    xcb_connection_t* m_c;
};

} // namespace

class TestX11WindowCapture : public QObject {
    Q_OBJECT
private slots:

    void readsTheWindowsOwnPixels_data() {
        QTest::addColumn<bool>("composite");
        QTest::addColumn<bool>("shm");
        QTest::newRow("composite, shared memory") << true << true;
        QTest::newRow("composite, plain read") << true << false;
        QTest::newRow("no composite, shared memory") << false << true;
        QTest::newRow("no composite, plain read") << false << false;
    }

    // With composite the window's own pixels are read even where another window covers it.
    void readsTheWindowsOwnPixels() {
        QFETCH(bool, composite);
        QFETCH(bool, shm);
        X11Connection x(QString(), {composite, shm});
        QVERIFY(x.ensureConnected());
        QCOMPARE(x.hasComposite(), composite);
        QCOMPARE(x.hasShm(), shm);
        SystemWindowImageCapture capture(&x);
        TestWindow window({"--quadrants", "--size", "240x160", "--pos", "100,100"});
        QVERIFY(window.isReady());
        QVERIFY(activateWindow(window.id()));
        // A black window over the right half and the bottom of the first.
        std::optional<TestWindow> cover;
        if (composite) {
            cover.emplace(QStringList{"--color", "000000", "--size", "200x200", "--pos", "220,180"});
            QVERIFY(cover->isReady());
            QVERIFY(activateWindow(cover->id()));
        }

        const auto image = QCoro::waitFor(capture.captureWindowImage(window.id()));
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(240, 160));
        QCOMPARE(image->format(), QImage::Format_RGB32);
        QVERIFY(hasQuadrants(*image));
        QCOMPARE(capture.lastReadPath().composite, composite);
        QCOMPARE(capture.lastReadPath().sharedMemory, shm);
    }

    void translucentWindowIsPremultiplied() {
        X11Connection x;
        QVERIFY(x.ensureConnected());
        SystemWindowImageCapture capture(&x);
        TestWindow window({"--argb", "80ff8000", "--size", "120x90"});
        QVERIFY(window.isReady());
        const auto image = QCoro::waitFor(capture.captureWindowImage(window.id()));
        QVERIFY(image);
        // The window manager may impose another size than asked for; the picture follows the window.
        QString info;
        QVERIFY(runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window.id())},
                        &info));
        const auto dimension = [&info](const char* name) {
            const QRegularExpression pattern(QStringLiteral("%1: +(\\d+)").arg(QLatin1String(name)));
            return pattern.match(info).captured(1).toInt();
        };
        QCOMPARE(image->size(), QSize(dimension("Width"), dimension("Height")));
        QCOMPARE(image->format(), QImage::Format_ARGB32_Premultiplied);
        const QRgb pixel =
            reinterpret_cast<const QRgb*>(image->constScanLine(image->height() / 2))[image->width() / 2];
        QVERIFY2(std::abs(qAlpha(pixel) - 0x80) <= 1 && std::abs(qRed(pixel) - 0x80) <= 1 &&
                     std::abs(qGreen(pixel) - 0x40) <= 1 && qBlue(pixel) == 0,
                 qPrintable(QString::number(pixel, 16)));
    }

    void imagesOutliveTheirSegment() {
        // Images are handed to an encoder on another thread; they must stay valid after the capture and its
        // connection are gone, and several may be alive at once.
        QList<QImage> images;
        {
            X11Connection x;
            QVERIFY(x.ensureConnected());
            SystemWindowImageCapture capture(&x);
            TestWindow window({"--quadrants", "--size", "160x120"});
            QVERIFY(window.isReady());
            for (int i = 0; i < 5; ++i) {
                const auto image = QCoro::waitFor(capture.captureWindowImage(window.id()));
                QVERIFY(image);
                images.append(*image);
            }
        }
        for (const QImage& image : std::as_const(images))
            QVERIFY(hasQuadrants(image));
    }

    void vanishingMidCaptureGivesNothing_data() {
        QTest::addColumn<SystemWindowImageCapture::Stage>("stage");
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<bool>("composite");
        using S = SystemWindowImageCapture::Stage;
        const QList<QPair<S, const char*>> stages{
            {S::WindowExamined, "examining"}, {S::PixelsNamed, "naming"}, {S::PixelsRead, "reading"}};
        for (bool composite : {true, false})
            for (bool destroy : {true, false})
                for (const auto& [stage, name] : stages)
                    QTest::addRow("%s, %s after %s", composite ? "composite" : "direct",
                                  destroy ? "destroyed" : "unmapped", name)
                        << stage << destroy << composite;
    }

    void vanishingMidCaptureGivesNothing() {
        QFETCH(SystemWindowImageCapture::Stage, stage);
        QFETCH(bool, destroy);
        QFETCH(bool, composite);
        LogCapture log;
        X11Connection x(QString(), {composite, true});
        QVERIFY(x.ensureConnected());
        SystemWindowImageCapture capture(&x);
        TestWindow window({"--quadrants"});
        QVERIFY(window.isReady());
        Meddler meddler;
        bool acted = false;
        capture.setStageObserver([&](SystemWindowImageCapture::Stage now) {
            if (now != stage || acted)
                return;
            acted = true;
            destroy ? meddler.destroy(window.id()) : meddler.unmap(window.id());
        });

        const auto image = QCoro::waitFor(capture.captureWindowImage(window.id()));
        QVERIFY(acted);
        QVERIFY(!image);
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtCriticalMsg).size(), 1);

        // The capture keeps working for the next window.
        capture.setStageObserver({});
        TestWindow next({"--quadrants"});
        QVERIFY(next.isReady());
        const auto nextImage = QCoro::waitFor(capture.captureWindowImage(next.id()));
        QVERIFY(nextImage && hasQuadrants(*nextImage));
    }

    void goneOrHiddenWindowGivesNothing() {
        LogCapture log;
        X11Connection x;
        QVERIFY(x.ensureConnected());
        SystemWindowImageCapture capture(&x);
        quint32 gone = 0;
        {
            TestWindow window({"--quadrants"});
            QVERIFY(window.isReady());
            gone = window.id();
        }
        QVERIFY(!QCoro::waitFor(capture.captureWindowImage(gone)));
        QVERIFY(
            log.contains("Norvane.ScreenshotService", QtCriticalMsg,
                         QStringLiteral("Window %1 is gone, so its pixels could not be read.").arg(gone)));

        TestWindow hidden({"--quadrants"});
        QVERIFY(hidden.isReady());
        QVERIFY(runTool("xdotool", {"windowminimize", "--sync", QString::number(hidden.id())}));
        // The window manager may animate the iconifying for a moment before it unmaps the frame.
        QTRY_VERIFY_WITH_TIMEOUT(!QCoro::waitFor(capture.captureWindowImage(hidden.id())), 5000);
        QVERIFY(!QCoro::waitFor(capture.captureWindowImage(0)));
    }

    void largeWindowIsReducedWhileCaptured() {
        X11Connection x;
        QVERIFY(x.ensureConnected());
        TestWindow window({"--quadrants", "--size", "1600x800", "--pos", "0,0"});
        QVERIFY(window.isReady());

        SystemWindowImageCapture capture(&x);
        const auto reduced = QCoro::waitFor(capture.captureWindowImage(window.id()));
        QVERIFY(reduced);
        QCOMPARE(reduced->size(), QSize(1024, 512));
        QVERIFY(hasQuadrants(*reduced, 2, 2));

        SystemWindowImageCapture fullSize(&x, 0);
        const auto full = QCoro::waitFor(fullSize.captureWindowImage(window.id()));
        QVERIFY(full);
        QCOMPARE(full->size(), QSize(1600, 800));
        QVERIFY(hasQuadrants(*full));
    }

    void screenshotServiceScalesAndDropsTheIdenticalSecondFrame() {
        LogCapture log;
        X11Connection x;
        SystemFrontmostWindowProvider provider(&x);
        SystemWindowImageCapture capture(&x);
        SystemScreenRecordingPermissionChecker permission(&x);
        ScreenshotService service(&provider, &capture, &permission, Clock::system());
        TestWindow window({"--quadrants", "--size", "1600x800", "--pos", "0,0", "--title", "Quarterly",
                           "--class", "Sheets"});
        QVERIFY(window.isReady());
        QVERIFY(activateWindow(window.id()));
        QTRY_COMPARE_WITH_TIMEOUT(service.frontmostWindowInfo().value_or(FrontmostWindowInfo{}).windowID,
                                  window.id(), 10000);

        const auto first = QCoro::waitFor(service.captureFrontmostWindow(false));
        QVERIFY(first);
        QCOMPARE(first->appName, QStringLiteral("Sheets"));
        QCOMPARE(first->windowTitle, QStringLiteral("Quarterly"));
        QCOMPARE(first->windowID, std::optional(window.id()));
        QImage decoded;
        QVERIFY(decoded.loadFromData(first->image, "JPEG"));
        QCOMPARE(decoded.size(), QSize(1024, 512));
        QVERIFY(hasQuadrants(decoded, 24, 6));

        QVERIFY(!QCoro::waitFor(service.captureFrontmostWindow(false)));
        QVERIFY(log.contains("Norvane.ScreenshotService", QtDebugMsg,
                             "Skipping duplicate frame for Sheets because the image contents are unchanged"));
        const auto forced = QCoro::waitFor(service.captureFrontmostWindow(true));
        QVERIFY(forced);
        QCOMPARE(forced->captureFingerprint, first->captureFingerprint);
    }
};

QTEST_MAIN(TestX11WindowCapture)
#include "tst_x11_window_capture.moc"
