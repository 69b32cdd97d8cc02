#include "X11TestSupport.h"
#include "fakes/LogCapture.h"
#include "platform/x11/SystemFrontmostWindowProvider.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QTest>
#include <QWindow>

#include <unistd.h>

using namespace norvane;
using namespace norvane::testing;

namespace {

std::optional<WindowListEntry> entryFor(const WindowSnapshot& snapshot, quint32 window) {
    for (const auto& entry : snapshot.windows)
        if (entry.windowNumber == window)
            return entry;
    return std::nullopt;
}

int indexOf(const WindowSnapshot& snapshot, quint32 window) {
    for (int i = 0; i < snapshot.windows.size(); ++i)
        if (snapshot.windows[i].windowNumber == window)
            return i;
    return -1;
}

} // namespace

namespace {
bool activeWindowIs(quint32 window) {
    QString output;
    return runTool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, &output) &&
           output.trimmed().toUInt() == window;
}
} // namespace

class TestX11WindowProvider : public QObject {
    Q_OBJECT
private slots:
    void init();
    void frontmostFollowsFocus();
    void applicationComesFromPidClassAndProcessName();
    void pidFallsBackToTheXResExtension();
    void titles_data();
    void titles();
    void ownWindowsAreOwnApp();
    void ownFloatingCardLeavesTheUserAppInFront();
    void stackingIsFrontToBack();
    void layerFollowsWindowType_data();
    void layerFollowsWindowType();
    void minimisedWindowIsNotVisible();
    void nothingWhenNoWindowIsActive();
    void xwaylandSessionIsNamedOnce();

private:
    std::unique_ptr<X11Connection> m_x;
    std::unique_ptr<SystemFrontmostWindowProvider> m_provider;
};

void TestX11WindowProvider::init() {
    m_provider.reset();
    m_x = std::make_unique<X11Connection>();
    QVERIFY(m_x->ensureConnected());
    m_provider = std::make_unique<SystemFrontmostWindowProvider>(m_x.get());
}

void TestX11WindowProvider::frontmostFollowsFocus() {
    TestWindow alpha({"--title", "Alpha Notes", "--class", "AlphaApp", "--pos", "20,20"});
    TestWindow beta({"--title", "Beta Sheet", "--class", "BetaApp", "--pos", "300,40"});
    QVERIFY(alpha.isReady() && beta.isReady());

    for (int round = 0; round < 2; ++round) {
        QVERIFY(activateWindow(alpha.id()));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_provider->frontmostWindowInfo(),
            std::optional(FrontmostWindowInfo{alpha.id(), "AlphaApp", "Alpha Notes", false}), 10000);
        QVERIFY(activateWindow(beta.id()));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_provider->frontmostWindowInfo(),
            std::optional(FrontmostWindowInfo{beta.id(), "BetaApp", "Beta Sheet", false}), 10000);
    }
}

void TestX11WindowProvider::applicationComesFromPidClassAndProcessName() {
    TestWindow window({"--title", "Ledger", "--class", "Accounts"});
    QVERIFY(window.isReady());
    QVERIFY(activateWindow(window.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->readSnapshot().focused->windowNumber, std::optional(window.id()),
                              10000);
    const WindowSnapshot snapshot = m_provider->readSnapshot();
    QVERIFY(snapshot.application);
    QCOMPARE(snapshot.application->processIdentifier, window.pid());
    QCOMPARE(snapshot.application->localizedName, std::optional(QStringLiteral("Accounts")));
    QCOMPARE(snapshot.application->bundleIdentifier, std::optional(processName(window.pid())));
    QCOMPARE(snapshot.focused->title, std::optional(QStringLiteral("Ledger")));
    const auto entry = entryFor(snapshot, window.id());
    QVERIFY(entry);
    QCOMPARE(entry->ownerProcessIdentifier, std::optional(window.pid()));
}

void TestX11WindowProvider::pidFallsBackToTheXResExtension() {
    // No _NET_WM_PID and no WM_CLASS: the server knows the owner, and the process name names the app.
    TestWindow window({"--title", "Anonymous", "--no-pid", "--no-class"});
    QVERIFY(window.isReady());
    QVERIFY(m_x->hasRes());
    QVERIFY(activateWindow(window.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->readSnapshot().focused->windowNumber, std::optional(window.id()),
                              10000);
    const WindowSnapshot snapshot = m_provider->readSnapshot();
    QCOMPARE(snapshot.application->processIdentifier, window.pid());
    QVERIFY(!snapshot.application->localizedName);
    const QString name = processName(window.pid());
    QVERIFY(!name.isEmpty());
    QCOMPARE(m_provider->frontmostWindowInfo(),
             std::optional(FrontmostWindowInfo{window.id(), name, "Anonymous", false}));
}

void TestX11WindowProvider::titles_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("title");
    QTest::newRow("utf-8") << QStringList{"--title", "Grüße — 日本語 ✓"}
                           << QStringLiteral("Grüße — 日本語 ✓");
    QTest::newRow("latin-1 WM_NAME only")
        << QStringList{"--wm-name-only", "Café Ürün"} << QStringLiteral("Café Ürün");
    QTest::newRow("surrounding spaces") << QStringList{"--title", "  Draft  "} << QStringLiteral("Draft");
    QTest::newRow("blank") << QStringList{"--title", "   "} << QStringLiteral("Untitled Window");
    QTest::newRow("none") << QStringList{"--wm-name-only", ""} << QStringLiteral("Untitled Window");
}

void TestX11WindowProvider::titles() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, title);
    TestWindow window(arguments + QStringList{"--class", "Titled"});
    QVERIFY(window.isReady());
    QVERIFY(activateWindow(window.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(),
                              std::optional(FrontmostWindowInfo{window.id(), "Titled", title, false}), 10000);
}

void TestX11WindowProvider::ownWindowsAreOwnApp() {
    // Another client's window that claims our pid, and a window of this very process.
    TestWindow claimed({"--title", "Claimed", "--class", "Elsewhere", "--pid", QString::number(getpid())});
    QVERIFY(claimed.isReady());
    QVERIFY(activateWindow(claimed.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(),
                              std::optional(FrontmostWindowInfo{claimed.id(), "Elsewhere", "Claimed", true}),
                              10000);

    QWindow own;
    own.setTitle(QStringLiteral("Norvane Settings"));
    own.resize(180, 120);
    own.show();
    QVERIFY(QTest::qWaitForWindowExposed(&own));
    QVERIFY(activateWindow(quint32(own.winId())));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo().value_or(FrontmostWindowInfo{}).windowID,
                              quint32(own.winId()), 10000);
    const auto info = m_provider->frontmostWindowInfo();
    QVERIFY(info->isOwnApp);
    QCOMPARE(info->windowTitle, QStringLiteral("Norvane Settings"));

    // A window of another process is not ours, even right after ours was in front.
    TestWindow other({"--title", "Other", "--class", "OtherApp"});
    QVERIFY(other.isReady());
    QVERIFY(activateWindow(other.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(),
                              std::optional(FrontmostWindowInfo{other.id(), "OtherApp", "Other", false}),
                              10000);
}

// The nudge card takes the keyboard when the user clicks into it, yet the user's application stays the
// one in front: a fresh capture made for the answer shows that application, not nothing.
void TestX11WindowProvider::ownFloatingCardLeavesTheUserAppInFront() {
    TestWindow other({"--title", "Budget", "--class", "Sheets"});
    QVERIFY(other.isReady());
    QVERIFY(activateWindow(other.id()));
    QTRY_COMPARE_WITH_TIMEOUT(m_provider->frontmostWindowInfo(),
                              std::optional(FrontmostWindowInfo{other.id(), "Sheets", "Budget", false}),
                              10000);

    QWindow card;
    card.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    card.resize(420, 200);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));
    QVERIFY(activateWindow(quint32(card.winId())));
    QTRY_VERIFY_WITH_TIMEOUT(activeWindowIs(quint32(card.winId())), 10000);
    QCOMPARE(m_provider->frontmostWindowInfo(),
             std::optional(FrontmostWindowInfo{other.id(), "Sheets", "Budget", false}));

    // An ordinary window of ours in front is Norvane itself.
    QWindow settings;
    settings.setTitle(QStringLiteral("Norvane Settings"));
    settings.resize(200, 150);
    settings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings));
    QVERIFY(activateWindow(quint32(settings.winId())));
    QTRY_VERIFY_WITH_TIMEOUT(m_provider->frontmostWindowInfo().value_or(FrontmostWindowInfo{}).isOwnApp,
                             10000);
}

void TestX11WindowProvider::stackingIsFrontToBack() {
    TestWindow first({"--title", "First", "--pos", "10,10"});
    TestWindow second({"--title", "Second", "--pos", "60,60"});
    QVERIFY(first.isReady() && second.isReady());
    QVERIFY(activateWindow(second.id()));
    QVERIFY(activateWindow(first.id()));
    QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_provider->readSnapshot(), first.id()) == 0, 10000);
    QVERIFY(indexOf(m_provider->readSnapshot(), second.id()) == 1);
    QVERIFY(activateWindow(second.id()));
    QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_provider->readSnapshot(), second.id()) == 0, 10000);
    QCOMPARE(indexOf(m_provider->readSnapshot(), first.id()), 1);
    const auto entry = entryFor(m_provider->readSnapshot(), first.id());
    QVERIFY(entry);
    QCOMPARE(entry->name, std::optional(QStringLiteral("First")));
    QCOMPARE(entry->alpha, std::optional(1.0));
}

void TestX11WindowProvider::layerFollowsWindowType_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("layer");
    QTest::newRow("no type") << QStringList{} << 0;
    QTest::newRow("normal") << QStringList{"--type", "NORMAL"} << 0;
    QTest::newRow("utility") << QStringList{"--type", "UTILITY"} << 1;
    QTest::newRow("dialog") << QStringList{"--type", "DIALOG"} << 1;
    QTest::newRow("qt tool window") << QStringList{"--type", "UTILITY,NORMAL"} << 1;
    QTest::newRow("unknown type first") << QStringList{"--type", "NORVANE_UNKNOWN,NORMAL"} << 0;
    QTest::newRow("transient") << QStringList{"--transient-for", "ROOT_PARENT"} << 1;
    QTest::newRow("transient normal")
        << QStringList{"--transient-for", "ROOT_PARENT", "--type", "NORMAL"} << 0;
}

void TestX11WindowProvider::layerFollowsWindowType() {
    QFETCH(QStringList, arguments);
    QFETCH(int, layer);
    TestWindow parent({"--title", "Parent"});
    QVERIFY(parent.isReady());
    arguments.replaceInStrings(QStringLiteral("ROOT_PARENT"), QString::number(parent.id()));
    TestWindow window(arguments + QStringList{"--title", "Typed"});
    QVERIFY(window.isReady());
    QVERIFY(activateWindow(window.id()));
    QTRY_VERIFY_WITH_TIMEOUT(entryFor(m_provider->readSnapshot(), window.id()), 10000);
    QCOMPARE(entryFor(m_provider->readSnapshot(), window.id()).value_or(WindowListEntry{}).layer,
             std::optional(layer));
}

void TestX11WindowProvider::minimisedWindowIsNotVisible() {
    // The list is read while something is active; another window stays in front.
    TestWindow window({"--title", "Folded"});
    TestWindow anchor({"--title", "Anchor", "--pos", "400,300"});
    QVERIFY(window.isReady() && anchor.isReady());
    QVERIFY(activateWindow(anchor.id()));
    QTRY_VERIFY_WITH_TIMEOUT(entryFor(m_provider->readSnapshot(), window.id()), 10000);
    QCOMPARE(entryFor(m_provider->readSnapshot(), window.id()).value_or(WindowListEntry{}).alpha,
             std::optional(1.0));
    QVERIFY(runTool("xdotool", {"windowminimize", "--sync", QString::number(window.id())}));
    QVERIFY(activateWindow(anchor.id()));
    QTRY_COMPARE_WITH_TIMEOUT(
        entryFor(m_provider->readSnapshot(), window.id()).value_or(WindowListEntry{}).alpha,
        std::optional(0.0), 10000);
}

void TestX11WindowProvider::nothingWhenNoWindowIsActive() {
    {
        TestWindow window({"--title", "Closing"});
        QVERIFY(window.isReady());
        QVERIFY(activateWindow(window.id()));
        QTRY_VERIFY_WITH_TIMEOUT(m_provider->frontmostWindowInfo(), 10000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_provider->frontmostWindowInfo(), 10000);
    QVERIFY(!m_provider->readSnapshot().application);
}

QTEST_MAIN(TestX11WindowProvider)
// Under XWayland Norvane works, but sees only X11 applications: the log says so once per connection object.
void TestX11WindowProvider::xwaylandSessionIsNamedOnce() {
    const QString notice =
        QStringLiteral("This is a Wayland session: Norvane sees only the windows and input of "
                       "applications that run through XWayland.");
    {
        qunsetenv("WAYLAND_DISPLAY");
        norvane::testing::LogCapture log;
        X11Connection plainX11;
        QVERIFY(plainX11.ensureConnected());
        QVERIFY(!log.messages(QStringLiteral("Norvane.ScreenshotService")).contains(notice));
    }
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    norvane::testing::LogCapture log;
    X11Connection xwayland;
    QVERIFY(xwayland.ensureConnected());
    QVERIFY(xwayland.ensureConnected());
    qunsetenv("WAYLAND_DISPLAY");
    QCOMPARE(log.messages(QStringLiteral("Norvane.ScreenshotService"), QtInfoMsg), QStringList{notice});
}

#include "tst_x11_window_provider.moc"
