#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/SystemScreenRecordingPermissionChecker.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/X11Connection.h"

#include <QCoroTask>
#include <QFile>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

// Without a reachable X display (none set, a Wayland session without XWayland, a display that is gone)
// every X11 piece says no, says why once, and nothing crashes.
class TestX11NoDisplay : public QObject {
    Q_OBJECT
private slots:

    void everythingDegrades_data() {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no display")
            << QByteArray() << QByteArray()
            << "No X11 display is set (DISPLAY is empty), so Norvane cannot see windows or input.";
        QTest::newRow("wayland without xwayland")
            << QByteArray() << QByteArray("wayland-0")
            << "This is a Wayland session without XWayland (DISPLAY is not "
               "set), and Norvane can only see windows and "
               "input through X11.";
        QTest::newRow("dead display")
            << QByteArray(":4711") << QByteArray() << "The X11 display \":4711\" cannot be reached.";
    }

    void everythingDegrades() {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QString, reason);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/.X11-unix/X4711")));
        if (display.isEmpty())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", display);
        if (wayland.isEmpty())
            qunsetenv("WAYLAND_DISPLAY");
        else
            qputenv("WAYLAND_DISPLAY", wayland);
        LogCapture log;

        X11Connection x;
        SystemScreenRecordingPermissionChecker permission(&x);
        QVERIFY(!permission.hasScreenRecordingPermission());
        QVERIFY(!permission.hasScreenRecordingPermission());
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtCriticalMsg),
                 QStringList{QStringLiteral("Screen capture is not possible: ") + reason});

        SystemFrontmostWindowProvider provider(&x);
        QVERIFY(!provider.frontmostWindowInfo());

        log.clear();
        SystemWindowImageCapture capture(&x);
        QVERIFY(!QCoro::waitFor(capture.captureWindowImage(42)));
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtCriticalMsg),
                 QStringList{QStringLiteral("Cannot capture window 42: ") + reason});

        SystemInputEventSource source;
        QVERIFY(!source.isAvailable());
        QCOMPARE(source.unavailableReason(), reason);
        QVERIFY(!source.start([](const InputEvent&) {}));
        QVERIFY(!source.pointerPosition());

        ManualClock clock;
        InputActivityMonitor monitor(&source, &clock);
        monitor.start();
        monitor.start();
        QVERIFY(!monitor.isWatching());
        QVERIFY(!monitor.isAvailable());
        QVERIFY(!monitor.lastMeaningfulInputAt());
        QVERIFY(!monitor.lastMeaningfulInputKind());
        QCOMPARE(log.messages("Norvane.InputActivityMonitor", QtCriticalMsg),
                 QStringList{QStringLiteral("Keyboard and mouse activity cannot be observed: ") + reason});
        monitor.stop();
    }
};

QTEST_GUILESS_MAIN(TestX11NoDisplay)
#include "tst_x11_no_display.moc"
