// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "X11TestSupport.h"
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
#include "platform/x11/X11SessionCapabilities.h"
#include "platform/x11/X11WindowHints.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QTest>

#include <xcb/xcb.h>

#include <unistd.h>

using namespace norvane;
using namespace norvane::testing;
using T = InputEventType;
using K = MeaningfulInputKind;
using Stage = SystemWindowImageCapture::Stage;

Q_DECLARE_METATYPE(std::optional<norvane::InputEventType>)
Q_DECLARE_METATYPE(std::optional<norvane::MeaningfulInputKind>)
Q_DECLARE_METATYPE(norvane::SystemWindowImageCapture::Stage)

namespace {

// Runs `command` at a new virtual time and returns that time.
QDateTime inputAt(ManualClock& clock, const QString& command) {
    clock.advance(7);
    const QDateTime at = clock.now();
    return xdotool(command) ? at : QDateTime();
}

// xprop on one window, arguments split on spaces: "-remove _NET_WM_PID", "-f WM_NAME 8t -set WM_NAME Café"
// (8t converts the locale's UTF-8 to a Latin-1 STRING).
bool xprop(quint32 window, const QString& arguments) {
    return runTool("env", QStringList{"LC_ALL=C.UTF-8", "xprop", "-id", QString::number(window)} +
                              arguments.split(u' '));
}

// Where `window` is in the snapshot's list, front to back; past its end when not there.
qsizetype indexOf(const WindowSnapshot& snapshot, quint32 window) {
    const auto at = std::find_if(snapshot.windows.begin(), snapshot.windows.end(),
                                 [&](const WindowListEntry& entry) { return entry.windowNumber == window; });
    return at - snapshot.windows.begin();
}

// The helper's "--paint quadrants" picture: red, green / blue, white, each quarter checked at its corners
// `blur` pixels in, its grey within `blur`.
bool hasQuadrants(const QImage& image, int blur = 0) {
    const int w = image.width(), h = image.height(), x = w / 2, y = h / 2;
    const std::pair<QRect, QColor> quarters[] = {{QRect(0, 0, x, y), Qt::red},
                                                 {QRect(x, 0, w - x, y), Qt::green},
                                                 {QRect(0, y, x, h - y), Qt::blue},
                                                 {QRect(x, y, w - x, h - y), Qt::white}};
    for (const auto& [rect, colour] : quarters) {
        const QRect in = rect.adjusted(blur, blur, -blur, -blur);
        for (const QPoint& p : {in.topLeft(), in.topRight(), in.bottomLeft(), in.bottomRight()})
            if (std::abs(qGray(image.pixel(p)) - qGray(colour.rgb())) > blur)
                return false;
    }
    return true;
}

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

// The X11 pieces, most of them on a real X server with a window manager: real XTEST input through xdotool,
// seen by the raw-event source on its own connection and recorded by the activity monitor with a manual clock
// (every step sets a new virtual time first, so the recorded time tells which step counted); the frontmost
// window as the window manager reports it; the pixels of windows.
class TestX11 : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<SystemInputEventSource> m_source;
    std::unique_ptr<InputActivityMonitor> m_monitor;
    QList<T> m_seen; // what the test's own listener saw, in order
    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<SystemFrontmostWindowProvider> m_provider;
    const QByteArray m_display = qgetenv("DISPLAY"); // the test's X server, for tests that change DISPLAY

    bool waitForEvent(T type) {
        return QTest::qWaitFor([&] { return m_seen.contains(type); }, 10000);
    }
    // Activates a helper window and waits until the provider reports `expected` in front.
    bool inFront(const TestWindow& window, const FrontmostWindowInfo& expected) {
        return activateWindow(window.id()) &&
               QTest::qWaitFor([&] { return m_provider->frontmostWindowInfo() == expected; }, 10000);
    }

private Q_SLOTS:
    void init() {
        m_source = std::make_unique<SystemInputEventSource>();
        m_monitor = std::make_unique<InputActivityMonitor>(m_source.get(), &m_clock);
        m_monitor->start();
        QVERIFY(m_monitor->isWatching());
        m_seen.clear();
        QVERIFY(m_source->start([this](const InputEvent& event) { m_seen.append(event.type); }));
        QVERIFY(xdotool(QStringLiteral("mousemove 5 5"))); // away from any window
        m_provider.reset();
        m_x = std::make_unique<X11Connection>();
        QVERIFY(m_x->ensureConnected());
        m_provider = std::make_unique<SystemFrontmostWindowProvider>(m_x.get());
    }
    void cleanup() {
        xdotool(QStringLiteral("mouseup 1 mouseup 2 mouseup 3"));
        m_monitor.reset();
        m_source.reset();
        qputenv("DISPLAY", m_display);
        qunsetenv("WAYLAND_DISPLAY");
    }

    // Each command runs after `before` (when given): the event type the source reports for it, and the
    // kind of input the monitor records (none: `before` stays the last meaningful input).
    void inputIsClassifiedAndRecorded_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<std::optional<T>>("type");
        QTest::addColumn<std::optional<K>>("kind");
        const auto row = [](const char* name, const char* before, const char* command, std::optional<T> type,
                            std::optional<K> kind) {
            QTest::newRow(name) << QString(before) << QString(command) << type << kind;
        };
        const std::optional<K> none;
        const char* move = "mousemove_relative -- 40 25";
        row("typing", "", "type hello", T::KeyDown, K::Keyboard);
        row("left click", "", "click 1", T::LeftMouseDown, K::MouseDown);
        row("right click", "", "click 3", T::RightMouseDown, K::MouseDown);
        row("middle click", "", "click 2", T::OtherMouseDown, K::MouseDown);
        row("scroll up", "", "click 4", T::ScrollWheel, K::Scroll);
        row("scroll sideways", "", "click 6", T::ScrollWheel, K::Scroll);
        row("left drag", "mousedown 1", move, T::LeftMouseDragged, K::MouseDrag);
        row("right drag", "mousedown 3", move, T::RightMouseDragged, K::MouseDrag);
        row("plain motion", "click 2", move, T::MouseMoved, none);
        row("left up", "mousedown 1", "mouseup 1", T::LeftMouseUp, none);
        row("key up", "keydown a", "keyup a", std::nullopt, none);
        row("modifier alone", "key x", "key Control_L", T::ModifierKeyChanged, none);
    }
    void inputIsClassifiedAndRecorded() {
        QFETCH(QString, before);
        QFETCH(QString, command);
        QFETCH(std::optional<T>, type);
        QFETCH(std::optional<K>, kind);
        std::optional<QDateTime> recordedAt;
        if (!before.isEmpty()) {
            recordedAt = inputAt(m_clock, before);
            QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), recordedAt, 10000);
        }
        const std::optional<K> earlierKind = m_monitor->lastMeaningfulInputKind();
        m_seen.clear();
        const QDateTime at = inputAt(m_clock, command);
        // Events arrive in order: once a later shift press is in, the command has been handled.
        QVERIFY(xdotool(QStringLiteral("key shift")) && waitForEvent(T::ModifierKeyChanged));
        QVERIFY(!type || m_seen.contains(*type));
        QCOMPARE(m_monitor->lastMeaningfulInputAt(), kind ? std::optional(at) : recordedAt);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), kind ? kind : earlierKind);
    }

    // The pointer position; once the monitor stops, another listener is still served.
    void secondListenerAndPointerPosition() {
        QVERIFY(xdotool(QStringLiteral("mousemove 321 234")));
        QCOMPARE(m_source->pointerPosition(), std::optional(QPoint(321, 234)));
        m_monitor->stop();
        QVERIFY(xdotool(QStringLiteral("click 9")) && waitForEvent(T::OtherMouseUp));
        QVERIFY(m_seen.contains(T::OtherMouseDown) && !m_monitor->lastMeaningfulInputAt());
    }

    // Focus moves back and forth; once the last window closes, nothing is in front.
    void frontmostFollowsFocus() {
        std::optional<TestWindow> alpha(QStringList{"--title", "Alpha Notes", "--class", "AlphaApp"}),
            beta(QStringList{"--title", "Beta Sheet", "--class", "BetaApp", "--pos", "300,40"});
        // The class names are WM_CLASS's instance and class, then the process name.
        const auto info = [](const TestWindow& window, const QString& app, const QString& title) {
            return FrontmostWindowInfo{
                window.id(), app, title, false, {"norvane-test", app, "norvane_testwin"}};
        };
        for (int round = 0; round < 2; ++round) {
            QVERIFY(inFront(*alpha, info(*alpha, "AlphaApp", "Alpha Notes")));
            QVERIFY(inFront(*beta, info(*beta, "BetaApp", "Beta Sheet")));
        }
        const WindowSnapshot snapshot = m_provider->readSnapshot();
        QCOMPARE(snapshot.application->bundleIdentifier,
                 std::optional(QString("norvane_testwin"))); // its comm
        QCOMPARE(indexOf(snapshot, beta->id()), 0);          // front to back
        QCOMPARE(indexOf(snapshot, alpha->id()), 1);
        alpha.reset();
        beta.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!m_provider->frontmostWindowInfo(), 10000);
        QVERIFY(!m_provider->readSnapshot().application);
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
        const auto row = [](const char* name, const char* xprop, const char* types, bool transient,
                            const char* title, int layer) {
            QTest::newRow(name) << QString(xprop) << QString(types) << transient << QString(title) << layer;
        };
        row("plain", "", "", false, "Named", 0);
        row("no pid", "-remove _NET_WM_PID", "", false, "Named", 0);
        row("hidden", "-f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN", "", false, "Named", 0);
        row("utf-8", "-f _NET_WM_NAME 8u -set _NET_WM_NAME Grüße—日本語✓", "", false, "Grüße—日本語✓", 0);
        row("latin-1 WM_NAME only", "-remove _NET_WM_NAME -f WM_NAME 8t -set WM_NAME Café", "", false, "Café",
            0);
        row("blank, so WM_NAME", "-f _NET_WM_NAME 8u -set _NET_WM_NAME \t", "", false, "Named", 0);
        row("no title", "-remove _NET_WM_NAME -remove WM_NAME", "", false, "", 0);
        row("qt tool window", "", "UTILITY,NORMAL", false, "Named", 1);
        row("unknown type first", "", "NORVANE_UNKNOWN,NORMAL", false, "Named", 0);
        row("transient", "", "", true, "Named", 1);
        row("transient normal", "", "NORMAL", true, "Named", 0);
    }
    void listedWindow() {
        QFETCH(QString, xprop);
        QFETCH(QString, types);
        QFETCH(bool, transient);
        QFETCH(QString, title);
        QFETCH(int, layer);
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
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window.id(),
                            m_x->atoms()[X11Connection::Atom::NetWmWindowType], XCB_ATOM_ATOM, 32,
                            typeAtoms.size(), typeAtoms.data());
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
        QCOMPARE(entry.alpha, std::optional(xprop.contains("HIDDEN") ? 0.0 : 1.0)); // hidden: not visible
    }

    // A window that claims this process's pid is Norvane's own.
    void ownWindow() {
        TestWindow claimed({"--title", "Claimed", "--class", "Elsewhere"});
        QVERIFY(xprop(claimed.id(), QStringLiteral("-f _NET_WM_PID 32c -set _NET_WM_PID %1").arg(getpid())));
        const FrontmostWindowInfo own{
            claimed.id(), "Elsewhere", "Claimed", true, {"norvane-test", "Elsewhere", "tst_x11"}};
        QVERIFY(inFront(claimed, own));
        // A window covering its screen says so (presentations, calls and games get no card).
        QVERIFY(xprop(claimed.id(), "-f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_FULLSCREEN"));
        QTRY_VERIFY_WITH_TIMEOUT(m_provider->frontmostWindowInfo()->isFullScreen, 10000);
    }

    // The card is translucent only while a compositing manager holds the screen's selection (openbox
    // composites nothing), and square again once that manager is gone.
    void compositingManagerFollowsTheSelection() {
        xcb_connection_t* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        QVERIFY(!hasCompositingManager());
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 13, "_NET_WM_CM_S0"), nullptr), &std::free);
        QVERIFY(atom);
        const xcb_window_t manager = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, manager,
                          xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(c, manager, atom->atom, XCB_CURRENT_TIME);
        QVERIFY(hasCompositingManager());
        xcb_destroy_window(c, manager);
        QVERIFY(!hasCompositingManager());
    }

    void readsTheWindowsOwnPixels_data() {
        QTest::addColumn<bool>("composite");
        QTest::addColumn<bool>("shm");
        for (bool composite : {true, false})
            for (bool shm : {true, false})
                QTest::addRow("%s, %s", composite ? "composite" : "direct", shm ? "shared memory" : "plain")
                    << composite << shm;
    }
    // With Composite the window's own pixels are read even where another window covers it. Large windows
    // are reduced to 1024 pixels on the longest edge unless asked for full size. The settings window names
    // the extensions in use.
    void readsTheWindowsOwnPixels() {
        QFETCH(bool, composite);
        QFETCH(bool, shm);
        QList<QImage> images; // handed to an encoder thread: they outlive the capture and its segments
        {
            X11Connection x(QString(), {composite, shm});
            SystemInputEventSource input;
            QString available; // display, input, covered windows, fast capture, native Wayland windows
            for (const SessionCapability& capability : x11SessionCapabilities(&x, &input))
                available += capability.available ? '+' : '-';
            QCOMPARE(available, QString("++") + (composite ? '+' : '-') + (shm ? '+' : '-') + '+');
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

    // A window destroyed or unmapped at any stage of a capture gives no picture and one log line, and the
    // capture goes on working for the next window.
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
        QVERIFY(!QCoro::waitFor(capture.captureWindowImage(window.id())) && acted);
        QCOMPARE(log.messages("Norvane.ScreenshotService", QtWarningMsg).size(), 1);
        const auto nextImage = capture.readWindowImage(next.id());
        QVERIFY(nextImage && hasQuadrants(*nextImage));
        QVERIFY(!capture.readWindowImage(0));
    }

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

    // A refused start is retried, a running listener is not doubled, a destroyed monitor leaves no listener.
    void activityMonitorStartsOnce() {
        ManualClock clock;
        FakeInputEventSource source;
        source.refuseStart = true;
        {
            InputActivityMonitor monitor(&source, &clock);
            monitor.start();
            source.refuseStart = false;
            monitor.start();
            monitor.start();
            QCOMPARE(source.startCalls, 2);
        }
        QVERIFY(source.listeners.empty());
    }

    // Uniform colours stay as they are; a one-pixel black and white checkerboard (pixel 0) turns to the
    // rounded average grey, where a sampler that picks pixels would give black or white.
    void reductionAverages_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<quint32>("pixel"); // with alpha 0x80: premultiplied
        // X leaves the unused byte of depth-24 pixels at zero; RGB32 promises 0xff there.
        QTest::newRow("halving") << QSize(2880, 1800) << QSize(720, 450) << 0x00336699u;
        QTest::newRow("halving and rest") << QSize(2881, 1801) << QSize(1024, 640) << 0x00336699u;
        QTest::newRow("tall") << QSize(700, 4000) << QSize(179, 1024) << 0x00336699u;
        QTest::newRow("target larger") << QSize(300, 200) << QSize(600, 400) << 0xff336699u;
        QTest::newRow("premultiplied, both") << QSize(2880, 1800) << QSize(1024, 640) << 0x80402000u;
        // Widths 1450 and 725 leave the vector loop a tail.
        QTest::newRow("checkerboard, halving") << QSize(2900, 1800) << QSize(725, 450) << 0u;
        QTest::newRow("checkerboard, halving and rest") << QSize(2900, 1800) << QSize(1024, 640) << 0u;
    }
    void reductionAverages() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(quint32, pixel);
        const bool opaque = pixel >> 24 != 0x80;
        QImage image(source, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        image.fill(pixel);
        for (int y = 0; pixel == 0 && y < image.height(); ++y)
            for (int x = y % 2; x < image.width(); x += 2)
                image.setPixel(x, y, 0xffffffff);
        const QImage reduced = reduceWindowImage(image, target);
        QCOMPARE(reduced.size(), target.boundedTo(source));
        QCOMPARE(reduced.format(), image.format());
        QVERIFY(allPixels(reduced, pixel == 0 ? 0xff808080 : opaque ? pixel | 0xff000000u : pixel));
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
        QVERIFY(!source.start([](const InputEvent&) {}) && !source.pointerPosition());
        ManualClock clock;
        InputActivityMonitor monitor(&source, &clock);
        monitor.start();
        monitor.start();
        QVERIFY(!monitor.isWatching());
        // The settings window's account of the session: nothing but, outside Wayland, native windows.
        for (const SessionCapability& capability : x11SessionCapabilities(&x, &source))
            QCOMPARE(capability.available, capability.name == "Native Wayland windows" && wayland.isEmpty());
        QCOMPARE(x11SessionCapabilities(&x, &source).first().explanation, reason);
        QCOMPARE(log.messages("Norvane.InputActivityMonitor", QtCriticalMsg),
                 QStringList{"Keyboard and mouse activity cannot be observed: " + reason});
    }
};

QTEST_MAIN(TestX11)
#include "tst_x11.moc"
