// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The Wayland backend against a real headless Sway (tests/run-with-sway.sh): native client windows,
// keys injected through the virtual-keyboard protocol (wtype), layout changes through swaymsg.

#include "X11TestSupport.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/DesktopBackend.h"
#include "platform/wayland/WaylandActivitySource.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandScreencopy.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/wayland/WaylandWindowCapture.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QRasterWindow>
#include <QTest>

#include <memory>

using namespace norvane;
using namespace norvane::testing;
using Kind = DesktopBackendKind;

Q_DECLARE_METATYPE(norvane::DesktopBackendKind)

namespace {

bool swaymsg(const QString& command) {
    return runTool(QStringLiteral("swaymsg"), {command});
}

// Types into the focused window through a virtual keyboard, as a real keyboard would. The pause lets the
// window take the new keyboard's keymap before the first key.
bool type(const QString& text) {
    return runTool(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("100"), text});
}

// The share of the picture's pixels within a small distance of `colour`.
double shareOf(const QImage& image, QColor colour) {
    qint64 near = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) {
            const QColor pixel = image.pixelColor(x, y);
            near += qAbs(pixel.red() - colour.red()) + qAbs(pixel.green() - colour.green()) +
                        qAbs(pixel.blue() - colour.blue()) <
                    24;
        }
    return double(near) / double(((image.height() + 3) / 4) * ((image.width() + 3) / 4));
}

std::optional<QImage> capture(WaylandWindowCapture& capture, quint32 window) {
    return QCoro::waitFor(capture.captureWindowImage(window));
}

} // namespace

class TestWayland : public QObject {
    Q_OBJECT

private:
    WaylandConnection m_connection;
    std::unique_ptr<WaylandToplevels> m_toplevels;

    std::optional<FrontmostWindowInfo> frontmost() { return m_toplevels->frontmostWindowInfo(); }
    bool waitForFrontmostTitle(const QString& title) {
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (const auto info = frontmost(); info && info->windowTitle == title)
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_connection.ensureConnected(), qPrintable(m_connection.unavailableReason()));
        m_toplevels = std::make_unique<WaylandToplevels>(&m_connection, QStringLiteral("norvane"));
        QVERIFY(m_toplevels->isAvailable());
    }

    void backendChoice_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("override x11 in wayland")
            << QStringList{"NORVANE_PLATFORM=x11", "XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0"}
            << Kind::X11 << "NORVANE_PLATFORM asks for it";
        QTest::newRow("override wayland, any case")
            << QStringList{"NORVANE_PLATFORM=Wayland", "XDG_SESSION_TYPE=x11"} << Kind::Wayland
            << "NORVANE_PLATFORM asks for it";
        QTest::newRow("bad override is said and ignored")
            << QStringList{"NORVANE_PLATFORM=mir", "XDG_SESSION_TYPE=wayland"} << Kind::Wayland
            << "XDG_SESSION_TYPE is wayland; NORVANE_PLATFORM=mir was ignored: it takes x11 or wayland";
        QTest::newRow("x11 session with a nested compositor")
            << QStringList{"XDG_SESSION_TYPE=x11", "WAYLAND_DISPLAY=wayland-1", "DISPLAY=:0"} << Kind::X11
            << "XDG_SESSION_TYPE is x11";
        QTest::newRow("no session type, xwayland too")
            << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << Kind::Wayland
            << "WAYLAND_DISPLAY is set";
        QTest::newRow("tty session type, X display")
            << QStringList{"XDG_SESSION_TYPE=tty", "DISPLAY=:1"} << Kind::X11
            << "DISPLAY is set and WAYLAND_DISPLAY is not";
        QTest::newRow("nothing at all") << QStringList{} << Kind::X11 << "no Wayland display is set";
    }
    void backendChoice() {
        QFETCH(QStringList, environment);
        QProcessEnvironment env;
        for (const QString& entry : environment)
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        const DesktopBackendChoice choice = chooseDesktopBackend(env);
        QTEST(choice.kind, "kind");
        QTEST(choice.reason, "reason");
    }

    // The shared screen cut to the window: in the frame's own pixels, on a monitor anywhere in the layout.
    void cutOutWindow_data() {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("expected"); // in frame pixels; empty for no picture
        QTest::newRow("inside") << QSize(200, 100) << QRect(0, 0, 200, 100) << QRect(50, 20, 40, 30)
                                << QRect(50, 20, 40, 30);
        QTest::newRow("scaled monitor")
            << QSize(400, 200) << QRect(0, 0, 200, 100) << QRect(50, 20, 40, 30) << QRect(100, 40, 80, 60);
        QTest::newRow("second monitor, window across the edge")
            << QSize(200, 100) << QRect(1920, 0, 200, 100) << QRect(1900, 10, 50, 50) << QRect(0, 10, 30, 50);
        QTest::newRow("window on another monitor")
            << QSize(200, 100) << QRect(1920, 0, 200, 100) << QRect(0, 0, 300, 300) << QRect();
    }
    void cutOutWindow() {
        QFETCH(QSize, frame);
        QFETCH(QRect, area);
        QFETCH(QRect, window);
        QFETCH(QRect, expected);
        QImage picture(frame, QImage::Format_RGB32);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, x / 256));
        const auto cut = norvane::cutOutWindow(picture, area, window);
        QCOMPARE(cut.has_value(), !expected.isEmpty());
        if (cut) {
            QCOMPARE(cut->size(), expected.size());
            QCOMPARE(cut->pixel(0, 0), picture.pixel(expected.topLeft()));
        }
    }

    // The compositor's idle notice reaches the activity monitor: input counts at once and keeps counting
    // once a second while it goes on; a quiet seat adds nothing.
    void activityReachesTheMonitor() {
        WaylandActivitySource source(&m_connection, QDBusConnection(QStringLiteral("none")));
        QCOMPARE(source.mechanism(), WaylandActivitySource::Mechanism::KdeIdle); // Sway 1.7
        ManualClock clock;
        InputActivityMonitor monitor(&source, &clock);
        int reports = 0;
        const auto listener = source.start([&](const InputEvent& event) {
            QCOMPARE(event.type, InputEventType::ActivityReported);
            ++reports;
        });
        QVERIFY(listener);
        monitor.start();
        TestWindow pad({"--paint", "typing-pad", "--title", "Pad"});
        QVERIFY(pad.isReady());
        QVERIFY(waitForFrontmostTitle("Pad"));

        // The compositor announces a resumption only after a quiet second.
        QTest::qWait(1200);
        for (int burst = 0; burst < 2; ++burst) {
            clock.advance(60);
            const QDateTime typedAt = clock.now();
            reports = 0;
            QVERIFY(type("ab"));
            QTRY_COMPARE_WITH_TIMEOUT(monitor.lastMeaningfulInputAt(), std::optional(typedAt), 5000);
            QCOMPARE(monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Activity));
            // Idle again within about a second: the reports stop.
            QTest::qWait(2500);
            const int settled = reports;
            QVERIFY2(settled >= 1 && settled <= 3, qPrintable(QString::number(settled)));
            QTest::qWait(1500);
            QCOMPARE(reports, settled);
        }
        source.stop(*listener);
        monitor.stop();
        QTRY_COMPARE_WITH_TIMEOUT(pad.keys(), 4, 5000); // and the keys went to the window
    }

    // The focused native window names the frontmost application and title; Norvane's own windows are
    // known by their application id, and full-screen windows are marked.
    void frontmostIsTheFocusedWindow() {
        TestWindow editor({"--app-id", "org.example.Editor", "--title", "notes.txt - Editor"});
        QVERIFY(editor.isReady());
        QVERIFY(waitForFrontmostTitle("notes.txt - Editor"));
        TestWindow own({"--app-id", "norvane", "--title", "Norvane Settings"});
        QVERIFY(own.isReady());
        QVERIFY(waitForFrontmostTitle("Norvane Settings"));
        QVERIFY(frontmost()->isOwnApp);

        QVERIFY(swaymsg(R"([app_id="org.example.Editor"] focus, fullscreen enable)"));
        QVERIFY(waitForFrontmostTitle("notes.txt - Editor"));
        QTRY_VERIFY_WITH_TIMEOUT(frontmost()->isFullScreen, 5000);
        const auto info = frontmost();
        QCOMPARE(info->appName, "org.example.Editor");
        QCOMPARE(info->classNames, QStringList{"org.example.Editor"});
        QVERIFY(!info->isOwnApp);
        const auto toplevel = m_toplevels->window(info->windowID);
        QVERIFY(toplevel && toplevel->activated && toplevel->outputs.size() == 1);
    }

    // A capture holds the window's own pixels and none of its neighbour's; a window that Norvane's own
    // window overlaps gives no picture at all.
    void captureCutsOutTheWindow() {
        WaylandScreencopy screencopy(&m_connection);
        QVERIFY(screencopy.isAvailable());
        WaylandWindowCapture windows(&m_connection, m_toplevels.get(), &screencopy);
        QVERIFY(windows.knowsWindowPlaces());
        TestWindow red({"--paint", "ff0000", "--title", "Red"});
        TestWindow blue({"--paint", "0000ff", "--title", "Blue"});
        QVERIFY(red.isReady() && blue.isReady());

        for (const auto& [title, colour, other] : {std::tuple{"Red", QColor(Qt::red), QColor(Qt::blue)},
                                                   std::tuple{"Blue", QColor(Qt::blue), QColor(Qt::red)}}) {
            QVERIFY(swaymsg(QStringLiteral("[title=\"%1\"] focus").arg(title)));
            QVERIFY(waitForFrontmostTitle(title));
            // Tiled side by side on the 1280x800 output.
            const auto picture = capture(windows, frontmost()->windowID);
            QVERIFY(picture);
            QCOMPARE(picture->size(), QSize(640, 800));
            QVERIFY2(shareOf(*picture, colour) > 0.97, title);
            QCOMPARE(shareOf(*picture, other), 0.0);
        }
        QVERIFY(!capture(windows, 0xfffffff0u)); // no such window

        QRasterWindow card;
        card.setTitle(QStringLiteral("Norvane card"));
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        const QString ownPid = QString::number(QCoreApplication::applicationPid());
        // Sway lists the window once its first frame is in.
        QTRY_VERIFY_WITH_TIMEOUT(
            swaymsg(QStringLiteral("[pid=%1] floating enable, resize set 300 200, move position 1000 100")
                        .arg(ownPid)),
            5000);
        QVERIFY(swaymsg(R"([title="Blue"] focus)"));
        QVERIFY(waitForFrontmostTitle("Blue"));
        QTRY_VERIFY_WITH_TIMEOUT(!capture(windows, frontmost()->windowID), 5000);
        QVERIFY(swaymsg(QStringLiteral("[pid=%1] move position 0 0").arg(ownPid)));
        QTRY_VERIFY_WITH_TIMEOUT(capture(windows, frontmost()->windowID).has_value(), 5000);

        // The whole screen stands in where windows have no known place: never while Norvane shows a window.
        QVERIFY(!capture(windows, WaylandWindowCapture::kWholeScreen));
        card.hide();
        const auto screen = capture(windows, WaylandWindowCapture::kWholeScreen);
        QVERIFY(screen && screen->width() == 1024); // the 1280x800 output, reduced like any capture

        // A listed window that Sway no longer shows (closed or renamed a moment ago) has no picture, not
        // the whole screen in its place.
        struct StaleList : WaylandWindowList {
            bool isAvailable() override { return true; }
            QList<WaylandWindow> windows() const override {
                return {WaylandWindow{7, QStringLiteral("Gone"), QStringLiteral("org.example.Gone")}};
            }
            QString ownAppId() const override { return {}; }
        } stale;
        WaylandWindowCapture staleWindows(&m_connection, &stale, &screencopy);
        QVERIFY(!capture(staleWindows, 7));
    }
};

QTEST_MAIN(TestWayland)
#include "tst_wayland.moc"
