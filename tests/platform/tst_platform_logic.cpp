#include "fakes/FakeInputEventSource.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/x11/RawInputClassifier.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/SystemScreenRecordingPermissionChecker.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/WindowImageReduction.h"
#include "platform/x11/X11Connection.h"

#include <QCoroTask>
#include <QFile>
#include <QPainter>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;
using T = InputEventType;

namespace {

std::optional<T> typeOf(const std::optional<InputEvent>& event) {
    return event ? std::optional(event->type) : std::nullopt;
}

bool allPixels(const QImage& image, quint32 pixel) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        if (std::any_of(row, row + image.width(), [&](quint32 p) { return p != pixel; }))
            return false;
    }
    return true;
}

} // namespace

// The platform code that needs no X server, and what the X11 parts do without one. The input classes
// and capture on a real server are in tst_x11_input and tst_x11_windows.
class TestPlatformLogic : public QObject {
    Q_OBJECT
private slots:
    // What XTEST input cannot produce: smooth scrolling, missed releases, two buttons held at once.
    void rawInputClassifier() {
        RawInputClassifier c;
        const auto motion = [&](bool scrolled, bool moved) { return typeOf(c.motion(scrolled, moved)); };
        QCOMPARE(typeOf(c.buttonPressed(4, true)), std::nullopt); // the legacy presses of a smooth scroll
        QCOMPARE(typeOf(c.buttonPressed(0, false)), std::nullopt);
        QCOMPARE(typeOf(c.buttonReleased(5, false)), std::nullopt);
        QCOMPARE(typeOf(c.buttonPressed(3, false)), T::RightMouseDown);
        QCOMPARE(motion(false, true), T::RightMouseDragged);
        c.buttonPressed(1, false);
        QCOMPARE(motion(false, true), T::LeftMouseDragged);
        QCOMPARE(motion(true, true), T::ScrollWheel); // a smooth scroll counts once and wins over a drag
        QCOMPARE(motion(false, false), std::nullopt);
        c.reset(); // events missed while nobody listened must not leave a button stuck down
        QCOMPARE(motion(false, true), T::MouseMoved);
    }

    void activityMonitorStartsAndStops() {
        ManualClock clock;
        FakeInputEventSource source;
        InputActivityMonitor monitor(&source, &clock);
        source.refuseStart = true;
        monitor.start();
        QVERIFY(!monitor.isWatching());
        source.refuseStart = false;
        monitor.start(); // a refusal is retried, a running listener is not doubled
        monitor.start();
        QCOMPARE(source.startCalls, 2);
        QCOMPARE(source.listeners.size(), size_t(1));
        source.emitEvent(T::ScrollWheel);
        QCOMPARE(monitor.lastMeaningfulInputKind(), MeaningfulInputKind::Scroll);
        monitor.stop(); // forgets, and stops listening
        source.emitEvent(T::KeyDown);
        QVERIFY(!monitor.lastMeaningfulInputAt() && !monitor.lastMeaningfulInputKind());
        QVERIFY(source.listeners.empty() && !monitor.isWatching());
        {
            InputActivityMonitor other(&source, &clock);
            other.start();
        }
        QVERIFY(source.listeners.empty()); // a destroyed monitor leaves no listener
    }

    void reductionKeepsUniformColours_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<quint32>("pixel");
        const auto rgb32 = QImage::Format_RGB32, premultiplied = QImage::Format_ARGB32_Premultiplied;
        // X leaves the unused byte of depth-24 pixels at zero; RGB32 promises 0xff there.
        QTest::newRow("halving") << QSize(2880, 1800) << QSize(720, 450) << rgb32 << 0x00336699u;
        QTest::newRow("halving and rest") << QSize(2881, 1801) << QSize(1024, 640) << rgb32 << 0x00336699u;
        QTest::newRow("rest only") << QSize(2000, 1250) << QSize(1024, 640) << rgb32 << 0x00336699u;
        QTest::newRow("tall") << QSize(700, 4000) << QSize(179, 1024) << rgb32 << 0x00336699u;
        QTest::newRow("target larger") << QSize(300, 200) << QSize(600, 400) << rgb32 << 0xff336699u;
        QTest::newRow("premultiplied, halving and rest")
            << QSize(2880, 1800) << QSize(1024, 640) << premultiplied << 0x80402000u;
        QTest::newRow("premultiplied, rest only")
            << QSize(2880, 1800) << QSize(2000, 1250) << premultiplied << 0x80402000u;
    }
    void reductionKeepsUniformColours() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QImage::Format, format);
        QFETCH(quint32, pixel);
        QImage image(source, format);
        image.fill(pixel);
        const QImage reduced = reduceWindowImage(image, target);
        QCOMPARE(reduced.size(), target.boundedTo(source));
        QCOMPARE(reduced.format(), format);
        QVERIFY(allPixels(reduced, format == QImage::Format_RGB32 ? pixel | 0xff000000u : pixel));
    }

    void reductionAveragesFineDetail_data() {
        QTest::addColumn<QSize>("target");
        QTest::newRow("halving") << QSize(725, 450); // widths 1450 and 725 leave the vector loop a tail
        QTest::newRow("halving and rest") << QSize(1024, 640);
    }
    // One-pixel checkerboard: a sampler that picks pixels gives black or white, rounded averages give 128.
    void reductionAveragesFineDetail() {
        QFETCH(QSize, target);
        QImage board(2900, 1800, QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y)
            for (int x = 0; x < board.width(); ++x)
                board.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff000000);
        QVERIFY(allPixels(reduceWindowImage(board, target), 0xff808080));
    }

    // Text above, a red and a blue half below: edges stay in place, detail stays close to an
    // area-averaging scale.
    void reductionKeepsEdgesAndDetail() {
        QImage content(2880, 1800, QImage::Format_RGB32);
        content.fill(Qt::white);
        QPainter painter(&content);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 18));
        for (int y = 30; y < 1200; y += 36)
            painter.drawText(40, y, QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789"));
        painter.fillRect(0, 1200, 1440, 600, Qt::red);
        painter.fillRect(1440, 1200, 1440, 600, Qt::blue);
        painter.end();
        const QSize target(1024, 640);
        const QImage reduced = reduceWindowImage(content, target);
        QCOMPARE(reduced.pixel(0, 639), qRgb(255, 0, 0));
        QCOMPARE(reduced.pixel(510, 600), qRgb(255, 0, 0));
        QCOMPARE(reduced.pixel(513, 600), qRgb(0, 0, 255));
        QCOMPARE(reduced.pixel(1023, 639), qRgb(0, 0, 255));
        const QImage reference = content.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double total = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x)
                total += std::abs(qGray(reduced.pixel(x, y)) - qGray(reference.pixel(x, y)));
        QVERIFY2(total / (target.width() * target.height()) < 3.0, qPrintable(QString::number(total)));
        QImage rgb16(2000, 1000, QImage::Format_RGB16); // other formats are converted
        rgb16.fill(Qt::red);
        QCOMPARE(reduceWindowImage(rgb16, QSize(1024, 512)).pixel(100, 100), qRgb(255, 0, 0));
        QVERIFY(reduceWindowImage(QImage(), QSize(10, 10)).isNull());
    }

    // Without a reachable X display (none set, a Wayland session without XWayland, a display that is gone)
    // every X11 piece says no, says why once, and nothing crashes.
    void everythingDegradesWithoutDisplay_data() {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no display")
            << QByteArray() << QByteArray()
            << "No X11 display is set (DISPLAY is empty), so Norvane cannot see windows or input.";
        QTest::newRow("wayland without xwayland")
            << QByteArray() << QByteArray("wayland-0")
            << "This is a Wayland session without XWayland (DISPLAY is not set), and Norvane can only see "
               "windows and input through X11.";
        QTest::newRow("dead display")
            << QByteArray(":4711") << QByteArray() << "The X11 display \":4711\" cannot be reached.";
    }
    void everythingDegradesWithoutDisplay() {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QString, reason);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/.X11-unix/X4711")));
        qputenv("DISPLAY", display);
        qputenv("WAYLAND_DISPLAY", wayland);
        LogCapture log;
        X11Connection x;
        SystemScreenRecordingPermissionChecker permission(&x);
        QVERIFY(!permission.hasScreenRecordingPermission() && !permission.hasScreenRecordingPermission());
        QVERIFY(!SystemFrontmostWindowProvider(&x).frontmostWindowInfo());
        QVERIFY(!QCoro::waitFor(SystemWindowImageCapture(&x).captureWindowImage(42)));
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtCriticalMsg),
                 QStringList(
                     {"Screen capture is not possible: " + reason, "Cannot capture window 42: " + reason}));

        SystemInputEventSource source;
        QVERIFY(!source.isAvailable() && !source.start([](const InputEvent&) {}) &&
                !source.pointerPosition());
        ManualClock clock;
        InputActivityMonitor monitor(&source, &clock);
        monitor.start();
        monitor.start();
        QVERIFY(!monitor.isWatching() && !monitor.isAvailable() && !monitor.lastMeaningfulInputAt());
        QCOMPARE(log.messages("Norvane.InputActivityMonitor", QtCriticalMsg),
                 QStringList{"Keyboard and mouse activity cannot be observed: " + reason});
    }
};

QTEST_MAIN(TestPlatformLogic)
#include "tst_platform_logic.moc"
