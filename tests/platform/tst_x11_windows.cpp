#include "X11TestSupport.h"
#include "fakes/LogCapture.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/SystemWindowImageCapture.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SessionCapabilities.h"

#include <QCoroTask>
#include <QFile>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

#include <unistd.h>

using namespace norvane;
using namespace norvane::testing;
using Stage = SystemWindowImageCapture::Stage;

Q_DECLARE_METATYPE(norvane::SystemWindowImageCapture::Stage)

namespace {

// xprop on one window, arguments split on spaces: "-remove _NET_WM_PID", "-f WM_NAME 8t -set WM_NAME Café"
// (8t converts the locale's UTF-8 to a Latin-1 STRING).
bool xprop(quint32 window, const QString& arguments) {
    return runTool("env", QStringList{"LC_ALL=C.UTF-8", "xprop", "-id", QString::number(window)} +
                              arguments.split(u' '));
}

QString processName(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

int indexOf(const WindowSnapshot& snapshot, quint32 window) {
    for (int i = 0; i < snapshot.windows.size(); ++i)
        if (snapshot.windows[i].windowNumber == window)
            return i;
    return -1;
}

// The helper's "--paint quadrants" picture: red, green / blue, white, probed at the outer corners and next
// to the centre. `blur` keeps the probes that many pixels away from the borders and allows as much
// difference in each channel.
bool hasQuadrants(const QImage& image, int blur = 0) {
    const int r = image.width() - 1 - blur, b = image.height() - 1 - blur, x = image.width() / 2 - 1 - blur,
              y = image.height() / 2 - 1 - blur, x2 = image.width() / 2 + blur,
              y2 = image.height() / 2 + blur;
    const QList<std::pair<QPoint, QColor>> probes = {
        {{blur, blur}, Qt::red}, {{x, y}, Qt::red},   {{r, blur}, Qt::green}, {{x2, y}, Qt::green},
        {{blur, b}, Qt::blue},   {{x, y2}, Qt::blue}, {{r, b}, Qt::white},    {{x2, y2}, Qt::white}};
    return std::all_of(probes.begin(), probes.end(), [&](const auto& probe) {
        const QColor actual = image.pixelColor(probe.first), expected = probe.second;
        return std::abs(actual.red() - expected.red()) <= blur &&
               std::abs(actual.green() - expected.green()) <= blur &&
               std::abs(actual.blue() - expected.blue()) <= blur;
    });
}

} // namespace

// Activates a helper window and waits until the provider reports `expected` in front.
#define ACTIVATE_AND_EXPECT(window, expected)                                                                \
    do {                                                                                                     \
        QVERIFY((window).isReady() && activateWindow((window).id()));                                        \
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(), std::optional(expected), 10000);        \
    } while (false)

// The frontmost window as the window manager reports it, and the pixels of windows, on a real X server.
class TestX11Windows : public QObject {
    Q_OBJECT

    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<SystemFrontmostWindowProvider> m_provider;

private slots:
    void init() {
        m_provider.reset();
        m_x = std::make_unique<X11Connection>();
        QVERIFY(m_x->ensureConnected());
        m_provider = std::make_unique<SystemFrontmostWindowProvider>(m_x.get());
    }

    void frontmostFollowsFocus() {
        TestWindow alpha({"--title", "Alpha Notes", "--class", "AlphaApp", "--pos", "20,20"});
        TestWindow beta({"--title", "Beta Sheet", "--class", "BetaApp", "--pos", "300,40"});
        for (int round = 0; round < 2; ++round) {
            ACTIVATE_AND_EXPECT(alpha, (FrontmostWindowInfo{alpha.id(), "AlphaApp", "Alpha Notes", false}));
            ACTIVATE_AND_EXPECT(beta, (FrontmostWindowInfo{beta.id(), "BetaApp", "Beta Sheet", false}));
        }
        const WindowSnapshot snapshot = m_provider->readSnapshot();
        QCOMPARE(snapshot.application->bundleIdentifier, std::optional(processName(beta.pid())));
        QCOMPARE(indexOf(snapshot, beta.id()), 0); // front to back
        QCOMPARE(indexOf(snapshot, alpha.id()), 1);
    }

    // What the list says of one window, the active one, after xprop and with the given window types. Without
    // _NET_WM_PID the XRes extension names the owner; a hidden window (_NET_WM_STATE_HIDDEN) is not
    // visible though still mapped; the first known type decides the layer, else being transient.
    void listedWindow_data() {
        QTest::addColumn<QString>("xprop");
        QTest::addColumn<QString>("types");
        QTest::addColumn<bool>("transient");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("layer");
        QTest::addColumn<double>("alpha");
        const auto row = [](const char* name, const char* xprop, const char* types, bool transient,
                            const char* title, int layer, double alpha) {
            QTest::newRow(name) << QString(xprop) << QString(types) << transient << QString(title) << layer
                                << alpha;
        };
        row("plain", "", "", false, "Named", 0, 1.0);
        row("no pid", "-remove _NET_WM_PID", "", false, "Named", 0, 1.0);
        row("hidden", "-f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN", "", false, "Named", 0,
            0.0);
        row("utf-8", "-f _NET_WM_NAME 8u -set _NET_WM_NAME Grüße—日本語✓", "", false, "Grüße—日本語✓", 0,
            1.0);
        row("latin-1 WM_NAME only", "-remove _NET_WM_NAME -f WM_NAME 8t -set WM_NAME Café", "", false, "Café",
            0, 1.0);
        row("blank, so WM_NAME", "-f _NET_WM_NAME 8u -set _NET_WM_NAME \t", "", false, "Named", 0, 1.0);
        row("no title", "-remove _NET_WM_NAME -remove WM_NAME", "", false, "", 0, 1.0);
        row("utility", "", "UTILITY", false, "Named", 1, 1.0);
        row("qt tool window", "", "UTILITY,NORMAL", false, "Named", 1, 1.0);
        row("unknown type first", "", "NORVANE_UNKNOWN,NORMAL", false, "Named", 0, 1.0);
        row("transient", "", "", true, "Named", 1, 1.0);
        row("transient normal", "", "NORMAL", true, "Named", 0, 1.0);
    }
    void listedWindow() {
        QFETCH(QString, xprop);
        QFETCH(QString, types);
        QFETCH(bool, transient);
        QFETCH(QString, title);
        QFETCH(int, layer);
        QFETCH(double, alpha);
        TestWindow window({"--title", "Named"});
        QVERIFY(window.isReady() && activateWindow(window.id()));
        xcb_connection_t* c = m_x->connection();
        QList<xcb_atom_t> typeAtoms;
        for (const QString& type : types.split(u',', Qt::SkipEmptyParts)) {
            const QByteArray name = "_NET_WM_WINDOW_TYPE_" + type.toLatin1();
            auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.data()), nullptr);
            typeAtoms.append(reply->atom);
            free(reply);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window.id(), m_x->atoms().netWmWindowType,
                            XCB_ATOM_ATOM, 32, typeAtoms.size(), typeAtoms.data());
        const quint32 parent = transient ? m_x->root() : quint32(XCB_WINDOW_NONE);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window.id(), XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW,
                            32, 1, &parent);
        QVERIFY(xprop.isEmpty() || ::xprop(window.id(), xprop));
        const WindowSnapshot snapshot = m_provider->readSnapshot();
        const WindowListEntry entry = snapshot.windows.value(indexOf(snapshot, window.id()));
        QCOMPARE(entry.ownerProcessIdentifier, std::optional(window.pid()));
        QCOMPARE(snapshot.application->processIdentifier, window.pid());
        QCOMPARE(entry.name.value_or(QString()), title);
        QCOMPARE(entry.layer, std::optional(layer));
        QCOMPARE(entry.alpha, std::optional(alpha));
    }

    // A window that claims this process's pid is Norvane's own. The nudge card (an own utility window)
    // takes the keyboard, yet the user's application stays the one in front.
    void ownWindows() {
        TestWindow claimed({"--title", "Claimed", "--class", "Elsewhere"});
        QVERIFY(xprop(claimed.id(), QStringLiteral("-f _NET_WM_PID 32c -set _NET_WM_PID %1").arg(getpid())));
        ACTIVATE_AND_EXPECT(claimed, (FrontmostWindowInfo{claimed.id(), "Elsewhere", "Claimed", true}));
        TestWindow other({"--title", "Budget", "--class", "Sheets"});
        const FrontmostWindowInfo sheets{other.id(), "Sheets", "Budget", false};
        ACTIVATE_AND_EXPECT(other, sheets);
        QWindow card;
        card.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        card.resize(300, 160);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card) && activateWindow(quint32(card.winId())));
        QCOMPARE(m_provider->frontmostWindowInfo(), std::optional(sheets));
    }

    void nothingWhenNoWindowIsActive() {
        std::optional<TestWindow> window(QStringList{"--title", "Closing"});
        QVERIFY(window->isReady() && activateWindow(window->id()));
        QVERIFY(m_provider->frontmostWindowInfo());
        window.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!m_provider->frontmostWindowInfo(), 10000);
        QVERIFY(!m_provider->readSnapshot().application);
    }

    // Under XWayland Norvane sees only X11 applications: the log says so once per connection.
    void xwaylandSessionIsNamedOnce() {
        LogCapture log;
        QVERIFY(X11Connection().ensureConnected());
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        X11Connection xwayland;
        QVERIFY(xwayland.ensureConnected() && xwayland.ensureConnected());
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtInfoMsg),
                 QStringList{"This is a Wayland session: Norvane sees only the windows and input of "
                             "applications that run through XWayland."});
        // The settings window's account of the session: everything there under Xvfb but native Wayland
        // windows, which are out of sight exactly in a Wayland session; no display, nothing at all.
        SystemInputEventSource input;
        for (const bool wayland : {false, true}) {
            if (wayland)
                qputenv("WAYLAND_DISPLAY", "wayland-0");
            QStringList available;
            for (const SessionCapability& capability : x11SessionCapabilities(&xwayland, &input))
                available << capability.name + (capability.available ? "+" : "-");
            qunsetenv("WAYLAND_DISPLAY");
            QCOMPARE(available,
                     (QStringList{"X display+", "Keyboard and mouse activity+", "Covered windows+",
                                  "Fast capture+",
                                  wayland ? "Native Wayland windows-" : "Native Wayland windows+"}));
        }
        X11Connection nowhere(QStringLiteral(":97"), {});
        for (const SessionCapability& capability : x11SessionCapabilities(&nowhere, &input))
            QCOMPARE(capability.available, capability.name == "Native Wayland windows");
    }

    void readsTheWindowsOwnPixels_data() {
        QTest::addColumn<bool>("composite");
        QTest::addColumn<bool>("shm");
        QTest::newRow("composite, shared memory") << true << true;
        QTest::newRow("composite, plain read") << true << false;
        QTest::newRow("no composite, shared memory") << false << true;
        QTest::newRow("no composite, plain read") << false << false;
    }
    // With Composite the window's own pixels are read even where another window covers it. Large windows
    // are reduced to 1024 pixels on the longest edge unless asked for full size.
    void readsTheWindowsOwnPixels() {
        QFETCH(bool, composite);
        QFETCH(bool, shm);
        QList<QImage> images; // handed to an encoder thread: they outlive the capture and its segments
        {
            X11Connection x(QString(), {composite, shm});
            QVERIFY(x.ensureConnected() && x.hasComposite() == composite && x.hasShm() == shm);
            TestWindow window({"--paint", "quadrants", "--size", "1600x800", "--pos", "0,0"});
            QVERIFY(window.isReady() && activateWindow(window.id()));
            std::optional<TestWindow> cover;
            if (composite) {
                cover.emplace(QStringList{"--paint", "000000", "--size", "300x300", "--pos", "650,250"});
                QVERIFY(cover->isReady() && activateWindow(cover->id()));
            }
            SystemWindowImageCapture capture(&x), fullSize(&x, 0);
            for (auto* c : {&capture, &capture, &fullSize}) {
                const auto image = QCoro::waitFor(c->captureWindowImage(window.id()));
                QVERIFY(image && image->format() == QImage::Format_RGB32);
                QCOMPARE(c->lastReadPath().composite, composite);
                QCOMPARE(c->lastReadPath().sharedMemory, shm);
                images.append(*image);
            }
        }
        QCOMPARE(images[0].size(), QSize(1024, 512));
        QCOMPARE(images[2].size(), QSize(1600, 800));
        QVERIFY(hasQuadrants(images[0], 2) && hasQuadrants(images[1], 2) && hasQuadrants(images[2]));
    }

    // A depth-32 window inside the window manager's opaque frame has off-screen storage of its own.
    void translucentWindowIsPremultiplied() {
        SystemWindowImageCapture capture(m_x.get());
        TestWindow window({"--paint", "80ff8000", "--size", "120x90"});
        QVERIFY(window.isReady());
        const auto image = capture.readWindowImage(window.id());
        QVERIFY(image && image->format() == QImage::Format_ARGB32_Premultiplied);
        const QRgb pixel = image->pixel(image->width() / 2, image->height() / 2);
        QVERIFY2(std::abs(qAlpha(pixel) - 0x80) <= 1 && std::abs(qRed(pixel) - 0x80) <= 1 &&
                     std::abs(qGreen(pixel) - 0x40) <= 1 && qBlue(pixel) == 0,
                 qPrintable(QString::number(pixel, 16)));
    }

    void vanishingMidCaptureGivesNothing_data() {
        QTest::addColumn<Stage>("stage");
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<bool>("composite");
        for (bool composite : {true, false})
            for (bool destroy : {true, false})
                for (Stage stage : {Stage::WindowExamined, Stage::PixelsNamed, Stage::PixelsRead})
                    QTest::addRow("%s, %s after stage %d", composite ? "composite" : "direct",
                                  destroy ? "destroyed" : "unmapped", int(stage))
                        << stage << destroy << composite;
    }
    void vanishingMidCaptureGivesNothing() {
        QFETCH(Stage, stage);
        QFETCH(bool, destroy);
        QFETCH(bool, composite);
        LogCapture log;
        X11Connection x(QString(), {composite, true});
        SystemWindowImageCapture capture(&x);
        TestWindow window({"--paint", "quadrants"}), next({"--paint", "quadrants"});
        QVERIFY(window.isReady() && next.isReady());
        bool acted = false;
        capture.setStageObserver([&](Stage now) {
            if (now == stage && !acted)
                (destroy ? xcb_destroy_window : xcb_unmap_window)(x.connection(), window.id());
            acted = acted || now == stage;
        });
        QVERIFY(!QCoro::waitFor(capture.captureWindowImage(window.id())));
        QVERIFY(acted);
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtCriticalMsg).size(), 1);
        const auto nextImage = capture.readWindowImage(next.id()); // the capture keeps working
        QVERIFY(nextImage && hasQuadrants(*nextImage));
    }

    void goneOrHiddenWindowGivesNothing() {
        LogCapture log;
        SystemWindowImageCapture capture(m_x.get());
        std::optional<TestWindow> gone(QStringList{"--paint", "quadrants"});
        const quint32 goneId = gone->id();
        gone.reset();
        QVERIFY(goneId && !capture.readWindowImage(goneId));
        QVERIFY(
            log.contains("Norvane.ScreenshotService", QtCriticalMsg,
                         QStringLiteral("Window %1 is gone, so its pixels could not be read.").arg(goneId)));
        TestWindow hidden({"--paint", "quadrants"});
        QVERIFY(hidden.isReady() && xdotool(QStringLiteral("windowminimize --sync %1").arg(hidden.id())));
        // The window manager may animate the iconifying for a moment before it unmaps the frame.
        QTRY_VERIFY_WITH_TIMEOUT(!capture.readWindowImage(hidden.id()), 5000);
        QVERIFY(!capture.readWindowImage(0));
    }
};

QTEST_MAIN(TestX11Windows)
#include "tst_x11_windows.moc"
