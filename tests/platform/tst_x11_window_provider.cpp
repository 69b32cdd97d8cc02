#include "X11TestSupport.h"
#include "fakes/LogCapture.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/X11Connection.h"

#include <QTest>
#include <QWindow>

#include <unistd.h>

using namespace norvane;
using namespace norvane::testing;

namespace {

int indexOf(const WindowSnapshot& snapshot, quint32 window) {
    for (int i = 0; i < snapshot.windows.size(); ++i)
        if (snapshot.windows[i].windowNumber == window)
            return i;
    return -1;
}

WindowListEntry entryFor(const WindowSnapshot& snapshot, quint32 window) {
    const int i = indexOf(snapshot, window);
    return i < 0 ? WindowListEntry{} : snapshot.windows[i];
}

bool activeWindowIs(quint32 window) {
    QString output;
    return runTool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, &output) &&
           output.trimmed().toUInt() == window;
}

// A window of this very process, shown and made active.
void showOwn(QWindow& window, Qt::WindowFlags flags = {}) {
    window.setFlags(window.flags() | flags);
    window.setTitle(QStringLiteral("Norvane Settings"));
    window.resize(300, 160);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(activateWindow(quint32(window.winId())));
}

} // namespace

// Activates a helper window and waits until the provider reports `expected` in front.
#define ACTIVATE_AND_EXPECT(window, expected)                                                                \
    do {                                                                                                     \
        QVERIFY((window).isReady());                                                                         \
        QVERIFY(activateWindow((window).id()));                                                              \
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(), std::optional(expected), 10000);        \
    } while (false)

class TestX11WindowProvider : public QObject {
    Q_OBJECT

    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<SystemFrontmostWindowProvider> m_provider;

    // Activates `window` and returns the snapshot taken once it is focused.
    WindowSnapshot focusedSnapshot(const TestWindow& window) {
        if (window.isReady() && activateWindow(window.id()))
            (void)QTest::qWaitFor(
                [&] {
                    const auto focused = m_provider->readSnapshot().focused;
                    return focused && focused->windowNumber == window.id();
                },
                10000);
        return m_provider->readSnapshot();
    }

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
    }

    void applicationComesFromPidClassAndProcessName() {
        TestWindow window({"--title", "Ledger", "--class", "Accounts"});
        const WindowSnapshot snapshot = focusedSnapshot(window);
        QVERIFY(snapshot.focused);
        QCOMPARE(snapshot.focused->windowNumber, std::optional(window.id()));
        QVERIFY(snapshot.application);
        QCOMPARE(snapshot.application->processIdentifier, window.pid());
        QCOMPARE(snapshot.application->localizedName, std::optional(QStringLiteral("Accounts")));
        QCOMPARE(snapshot.application->bundleIdentifier, std::optional(processName(window.pid())));
        QCOMPARE(snapshot.focused->title, std::optional(QStringLiteral("Ledger")));
        QCOMPARE(entryFor(snapshot, window.id()).ownerProcessIdentifier, std::optional(window.pid()));
    }

    // No _NET_WM_PID and no WM_CLASS: the server knows the owner, and the process name names the app.
    void pidFallsBackToTheXResExtension() {
        QVERIFY(m_x->hasRes());
        TestWindow window({"--title", "Anonymous", "--no-pid", "--no-class"});
        const WindowSnapshot snapshot = focusedSnapshot(window);
        QVERIFY(snapshot.focused);
        QCOMPARE(snapshot.focused->windowNumber, std::optional(window.id()));
        QCOMPARE(snapshot.application->processIdentifier, window.pid());
        QVERIFY(!snapshot.application->localizedName);
        const QString name = processName(window.pid());
        QVERIFY(!name.isEmpty());
        QCOMPARE(m_provider->frontmostWindowInfo(),
                 std::optional(FrontmostWindowInfo{window.id(), name, "Anonymous", false}));
    }

    void titles_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("title");
        QTest::newRow("utf-8") << QStringList{"--title", "Grüße — 日本語 ✓"} << "Grüße — 日本語 ✓";
        QTest::newRow("latin-1 WM_NAME only") << QStringList{"--wm-name-only", "Café Ürün"} << "Café Ürün";
        QTest::newRow("surrounding spaces") << QStringList{"--title", "  Draft  "} << "Draft";
        QTest::newRow("blank") << QStringList{"--title", "   "} << "Untitled Window";
        QTest::newRow("none") << QStringList{"--wm-name-only", ""} << "Untitled Window";
    }
    void titles() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, title);
        TestWindow window(arguments + QStringList{"--class", "Titled"});
        ACTIVATE_AND_EXPECT(window, (FrontmostWindowInfo{window.id(), "Titled", title, false}));
    }

    void ownWindowsAreOwnApp() {
        // Another client's window that claims our pid, and a window of this very process.
        TestWindow claimed(
            {"--title", "Claimed", "--class", "Elsewhere", "--pid", QString::number(getpid())});
        ACTIVATE_AND_EXPECT(claimed, (FrontmostWindowInfo{claimed.id(), "Elsewhere", "Claimed", true}));

        QWindow own;
        showOwn(own);
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo().value_or(FrontmostWindowInfo{}).windowID,
                                  quint32(own.winId()), 10000);
        QVERIFY(m_provider->frontmostWindowInfo()->isOwnApp);
        QCOMPARE(m_provider->frontmostWindowInfo()->windowTitle, QStringLiteral("Norvane Settings"));

        // A window of another process is not ours, even right after ours was in front.
        TestWindow other({"--title", "Other", "--class", "OtherApp"});
        ACTIVATE_AND_EXPECT(other, (FrontmostWindowInfo{other.id(), "OtherApp", "Other", false}));
    }

    // The nudge card takes the keyboard when the user clicks into it, yet the user's application stays the
    // one in front: a fresh capture made for the answer shows that application, not nothing.
    void ownFloatingCardLeavesTheUserAppInFront() {
        TestWindow other({"--title", "Budget", "--class", "Sheets"});
        const FrontmostWindowInfo sheets{other.id(), "Sheets", "Budget", false};
        ACTIVATE_AND_EXPECT(other, sheets);

        QWindow card;
        showOwn(card, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        QTRY_VERIFY_WITH_TIMEOUT(activeWindowIs(quint32(card.winId())), 10000);
        QCOMPARE(m_provider->frontmostWindowInfo(), std::optional(sheets));
    }

    void stackingIsFrontToBack() {
        TestWindow first({"--title", "First", "--pos", "10,10"});
        TestWindow second({"--title", "Second", "--pos", "60,60"});
        QVERIFY(first.isReady() && second.isReady());
        QVERIFY(activateWindow(second.id()));
        QVERIFY(activateWindow(first.id()));
        QTRY_COMPARE_WITH_TIMEOUT(indexOf(m_provider->readSnapshot(), first.id()), 0, 10000);
        QCOMPARE(indexOf(m_provider->readSnapshot(), second.id()), 1);
        QVERIFY(activateWindow(second.id()));
        QTRY_COMPARE_WITH_TIMEOUT(indexOf(m_provider->readSnapshot(), second.id()), 0, 10000);
        QCOMPARE(indexOf(m_provider->readSnapshot(), first.id()), 1);
        const auto entry = entryFor(m_provider->readSnapshot(), first.id());
        QCOMPARE(entry.name, std::optional(QStringLiteral("First")));
        QCOMPARE(entry.alpha, std::optional(1.0));
    }

    void layerFollowsWindowType_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("layer");
        QTest::newRow("no type") << QStringList{} << 0;
        QTest::newRow("utility") << QStringList{"--type", "UTILITY"} << 1;
        QTest::newRow("qt tool window") << QStringList{"--type", "UTILITY,NORMAL"} << 1;
        QTest::newRow("unknown type first") << QStringList{"--type", "NORVANE_UNKNOWN,NORMAL"} << 0;
        QTest::newRow("transient") << QStringList{"--transient-for", "PARENT"} << 1;
        QTest::newRow("transient normal")
            << QStringList{"--transient-for", "PARENT", "--type", "NORMAL"} << 0;
    }
    void layerFollowsWindowType() {
        QFETCH(QStringList, arguments);
        QFETCH(int, layer);
        TestWindow parent({"--title", "Parent"});
        QVERIFY(parent.isReady());
        arguments.replaceInStrings(QStringLiteral("PARENT"), QString::number(parent.id()));
        TestWindow window(arguments + QStringList{"--title", "Typed"});
        QVERIFY(window.isReady());
        QVERIFY(activateWindow(window.id()));
        QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_provider->readSnapshot(), window.id()) >= 0, 10000);
        QCOMPARE(entryFor(m_provider->readSnapshot(), window.id()).layer, std::optional(layer));
    }

    void minimisedWindowIsNotVisible() {
        // The list is read while something is active; another window stays in front.
        TestWindow window({"--title", "Folded"});
        TestWindow anchor({"--title", "Anchor", "--pos", "400,300"});
        QVERIFY(window.isReady() && anchor.isReady());
        QVERIFY(activateWindow(anchor.id()));
        QTRY_COMPARE_WITH_TIMEOUT(entryFor(m_provider->readSnapshot(), window.id()).alpha, std::optional(1.0),
                                  10000);
        QVERIFY(runTool("xdotool", {"windowminimize", "--sync", QString::number(window.id())}));
        QVERIFY(activateWindow(anchor.id()));
        QTRY_COMPARE_WITH_TIMEOUT(entryFor(m_provider->readSnapshot(), window.id()).alpha, std::optional(0.0),
                                  10000);
    }

    void nothingWhenNoWindowIsActive() {
        {
            TestWindow window({"--title", "Closing"});
            QVERIFY(window.isReady());
            QVERIFY(activateWindow(window.id()));
            QTRY_VERIFY_WITH_TIMEOUT(m_provider->frontmostWindowInfo(), 10000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_provider->frontmostWindowInfo(), 10000);
        QVERIFY(!m_provider->readSnapshot().application);
    }

    // Under XWayland Norvane sees only X11 applications: the log says so once per connection object.
    void xwaylandSessionIsNamedOnce() {
        const QString notice =
            QStringLiteral("This is a Wayland session: Norvane sees only the windows and input of "
                           "applications that run through XWayland.");
        const auto notices = [](const LogCapture& log) {
            return log.messages(QStringLiteral("Norvane.ScreenshotService"), QtInfoMsg);
        };
        {
            qunsetenv("WAYLAND_DISPLAY");
            LogCapture log;
            X11Connection plainX11;
            QVERIFY(plainX11.ensureConnected());
            QVERIFY(!notices(log).contains(notice));
        }
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        LogCapture log;
        X11Connection xwayland;
        QVERIFY(xwayland.ensureConnected());
        QVERIFY(xwayland.ensureConnected());
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(notices(log), QStringList{notice});
    }
};

QTEST_MAIN(TestX11WindowProvider)
#include "tst_x11_window_provider.moc"
